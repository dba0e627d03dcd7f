// AVX2 helpers shared by the simd/*_avx2.cpp kernels (and only them: they
// are compiled with -mavx2).
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace imrestore {
namespace simd {
namespace avx2 {

// base[index] lane by lane, as eight scalar loads through the stack. On AMD's
// Zen 5 the gather instruction made a graph sweep (bench_graph_solvers)
// twice as long as these loads do.
inline __m256 gather(const float* base, __m256i index)
{
    alignas(32) std::int32_t at[8];
    alignas(32) float values[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
    for (int lane = 0; lane < 8; ++lane)
        values[lane] = base[at[lane]];
    return _mm256_load_ps(values);
}

// Asks for the cache line holding p, to be read soon; never faults.
inline void prefetch(const void* p)
{
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
}

} // namespace avx2
} // namespace simd
} // namespace imrestore
