// AVX-512 helpers shared by the simd/*_avx512.cpp kernels (and only them:
// they are compiled with -mavx512f).
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace imrestore {
namespace simd {
namespace avx512 {

// base[index] lane by lane, as sixteen scalar loads through the stack. On
// AMD's Zen 5 the gather instruction made a graph sweep (bench_graph_solvers)
// 1.4 times as long as these loads do.
inline __m512 gather(const float* base, __m512i index)
{
    alignas(64) std::int32_t at[16];
    alignas(64) float values[16];
    _mm512_store_si512(at, index);
    for (int lane = 0; lane < 16; ++lane)
        values[lane] = base[at[lane]];
    return _mm512_load_ps(values);
}

// Asks for the cache line holding p, to be read soon; never faults.
inline void prefetch(const void* p)
{
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}

} // namespace avx512
} // namespace simd
} // namespace imrestore
