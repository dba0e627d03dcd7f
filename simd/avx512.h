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

// Slab positions of pixels (row, column), lane by lane (slabPosition in
// nonlocal/sweep_schedule.h).
inline __m512i slabPosition(__m512i row, __m512i column, std::int32_t steps, std::int32_t lag, int lanes,
                            int laneShift)
{
    const __m512i band = _mm512_maskz_srai_epi32(0xFFFF, row, static_cast<unsigned>(laneShift));
    const __m512i lane = _mm512_and_si512(row, _mm512_set1_epi32(lanes - 1));
    __m512i step = _mm512_mullo_epi32(band, _mm512_set1_epi32(steps));
    step = _mm512_add_epi32(_mm512_add_epi32(step, column), _mm512_mullo_epi32(lane, _mm512_set1_epi32(lag)));
    return _mm512_add_epi32(_mm512_mullo_epi32(step, _mm512_set1_epi32(lanes)), lane);
}

} // namespace avx512
} // namespace simd
} // namespace imrestore
