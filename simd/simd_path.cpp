#include "simd/simd_path.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <immintrin.h>
#include <intrin.h>
#endif

namespace imrestore {
namespace {

// What the processor offers and the operating system saves across context
// switches (GCC's and Clang's run-time check looks at both).
SimdPath processorPath()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return SimdPath::avx512;
    if (__builtin_cpu_supports("avx2"))
        return SimdPath::avx2;
    return SimdPath::none;
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    int info[4];
    __cpuid(info, 0);
    if (info[0] < 7)
        return SimdPath::none;
    __cpuid(info, 1);
    const bool osSaves = (info[2] >> 27) & 1, avx = (info[2] >> 28) & 1;
    if (!osSaves || !avx)
        return SimdPath::none;
    const unsigned long long saved = _xgetbv(0);
    if ((saved & 0x6) != 0x6)
        return SimdPath::none;
    __cpuidex(info, 7, 0);
    const bool avx2 = (info[1] >> 5) & 1, avx512f = (info[1] >> 16) & 1;
    if (avx512f && (saved & 0xE6) == 0xE6)
        return SimdPath::avx512;
    return avx2 ? SimdPath::avx2 : SimdPath::none;
#else
    return SimdPath::none;
#endif
}

} // namespace

SimdPath bestSimdPath()
{
    static const SimdPath best = processorPath();
    return best;
}

SimdPath simdPath()
{
    const SimdPath best = bestSimdPath();
    const char* cap = std::getenv("IMRESTORE_SIMD");
    if (!cap)
        return best;
    for (SimdPath path : {SimdPath::none, SimdPath::avx2, SimdPath::avx512})
        if (std::strcmp(cap, simdPathName(path)) == 0)
            return path <= best ? path : best;
    return best;
}

const char* simdPathName(SimdPath path)
{
    switch (path) {
    case SimdPath::avx512: return "avx512";
    case SimdPath::avx2: return "avx2";
    default: return "none";
    }
}

} // namespace imrestore
