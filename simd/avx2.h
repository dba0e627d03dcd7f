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

// Slab positions of pixels (row, column), lane by lane (slabPosition in
// nonlocal/sweep_schedule.h).
inline __m256i slabPosition(__m256i row, __m256i column, std::int32_t steps, std::int32_t lag, int lanes,
                            int laneShift)
{
    const __m256i band = _mm256_srai_epi32(row, laneShift);
    const __m256i lane = _mm256_and_si256(row, _mm256_set1_epi32(lanes - 1));
    __m256i step = _mm256_mullo_epi32(band, _mm256_set1_epi32(steps));
    step = _mm256_add_epi32(_mm256_add_epi32(step, column), _mm256_mullo_epi32(lane, _mm256_set1_epi32(lag)));
    return _mm256_add_epi32(_mm256_mullo_epi32(step, _mm256_set1_epi32(lanes)), lane);
}

} // namespace avx2
} // namespace simd
} // namespace imrestore
