// The wavefront sweep, one 16-lane AVX-512 vector per step.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include "simd/avx512.h"

namespace imrestore {
namespace simd {
namespace {

template <bool WithSubtract>
void sweep(const WavefrontSweep& a, Range first, Range last)
{
    float* u = a.u;
    const std::int32_t* position = a.linkPosition + first * a.slots * 16;
    const float* weight = a.linkWeight + first * a.slots * 16;
    const __m512 scale = _mm512_set1_ps(a.scale);
    for (Range step = first; step < last; ++step) {
        __m512 sum = _mm512_setzero_ps();
        for (Range k = 0; k < a.slots; ++k) {
            const __m512 values = avx512::gather(u, _mm512_loadu_si512(position));
            sum = _mm512_add_ps(sum, _mm512_mul_ps(_mm512_loadu_ps(weight), values));
            position += 16;
            weight += 16;
        }
        const Range base = step * 16;
        __m512 numerator;
        if (WithSubtract)
            numerator = _mm512_sub_ps(_mm512_add_ps(_mm512_mul_ps(scale, sum), _mm512_loadu_ps(a.offset + base)),
                                      _mm512_loadu_ps(a.subtract + base));
        else
            numerator = _mm512_add_ps(_mm512_loadu_ps(a.offset + base), sum);
        _mm512_storeu_ps(u + base, _mm512_div_ps(numerator, _mm512_loadu_ps(a.denominator + base)));
    }
}

} // namespace

void sweepWavefrontAvx512(const WavefrontSweep& a, Range first, Range last)
{
    if (a.subtract)
        sweep<true>(a, first, last);
    else
        sweep<false>(a, first, last);
}

std::uint32_t layoutDifferencesAvx512(const LayoutComparison& a, Range first, Range last)
{
    const __m512i rows = _mm512_set1_epi32(static_cast<std::int32_t>(a.rows));
    const __m512i cols = _mm512_set1_epi32(static_cast<std::int32_t>(a.cols));
    const __m512i steps = _mm512_set1_epi32(static_cast<std::int32_t>(a.steps));
    const __m512i lag = _mm512_set1_epi32(static_cast<std::int32_t>(a.lag));
    const __m512i laneMask = _mm512_set1_epi32(static_cast<std::int32_t>((1u << a.laneShift) - 1));
    const __m512i shift = _mm512_set1_epi32(static_cast<std::int32_t>(a.laneShift));
    const __mmask16 all = 0xFFFF;   // the masked shifts: GCC 12 warns about the plain ones
    __mmask16 differs = 0;
    Range j = first;
    for (; j + 16 <= last; j += 16) {
        const __m512i r = _mm512_loadu_si512(a.row + j);
        const __m512i c = _mm512_loadu_si512(a.column + j);
        const __m512i lane = _mm512_and_si512(r, laneMask);
        const __m512i step = _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(_mm512_maskz_srlv_epi32(all, r, shift), steps), c),
                                              _mm512_mullo_epi32(lane, lag));
        const __m512i position = _mm512_add_epi32(_mm512_maskz_sllv_epi32(all, step, shift), lane);
        differs |= _mm512_cmpneq_epi32_mask(position, _mm512_loadu_si512(a.keptPosition + j)) |
                   _mm512_cmpneq_epi32_mask(_mm512_loadu_si512(a.weight + j), _mm512_loadu_si512(a.keptWeight + j)) |
                   _mm512_cmpge_epu32_mask(r, rows) | _mm512_cmpge_epu32_mask(c, cols);
    }
    return static_cast<std::uint32_t>(differs != 0) | layoutDifferencesScalar(a, j, last);
}

} // namespace simd
} // namespace imrestore
