// The wavefront sweep, two 8-lane AVX2 vectors per step (lanes 0–7, 8–15).
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include "simd/avx2.h"

namespace imrestore {
namespace simd {
namespace {

template <bool WithSubtract>
void sweep(const WavefrontSweep& a, Range first, Range last)
{
    float* u = a.u;
    const std::int32_t* position = a.linkPosition + first * a.slots * 16;
    const float* weight = a.linkWeight + first * a.slots * 16;
    const __m256 scale = _mm256_set1_ps(a.scale);
    for (Range step = first; step < last; ++step) {
        __m256 sum[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
        for (Range k = 0; k < a.slots; ++k) {
            for (int h = 0; h < 2; ++h) {
                const __m256i where = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(position + 8 * h));
                const __m256 values = avx2::gather(u, where);
                sum[h] = _mm256_add_ps(sum[h], _mm256_mul_ps(_mm256_loadu_ps(weight + 8 * h), values));
            }
            position += 16;
            weight += 16;
        }
        for (int h = 0; h < 2; ++h) {
            const Range base = step * 16 + 8 * h;
            __m256 numerator;
            if (WithSubtract)
                numerator = _mm256_sub_ps(_mm256_add_ps(_mm256_mul_ps(scale, sum[h]), _mm256_loadu_ps(a.offset + base)),
                                          _mm256_loadu_ps(a.subtract + base));
            else
                numerator = _mm256_add_ps(_mm256_loadu_ps(a.offset + base), sum[h]);
            _mm256_storeu_ps(u + base, _mm256_div_ps(numerator, _mm256_loadu_ps(a.denominator + base)));
        }
    }
}

} // namespace

void sweepWavefrontAvx2(const WavefrontSweep& a, Range first, Range last)
{
    if (a.subtract)
        sweep<true>(a, first, last);
    else
        sweep<false>(a, first, last);
}

std::uint32_t layoutDifferencesAvx2(const LayoutComparison& a, Range first, Range last)
{
    const __m256i rows = _mm256_set1_epi32(static_cast<std::int32_t>(a.rows));
    const __m256i cols = _mm256_set1_epi32(static_cast<std::int32_t>(a.cols));
    const __m256i steps = _mm256_set1_epi32(static_cast<std::int32_t>(a.steps));
    const __m256i lag = _mm256_set1_epi32(static_cast<std::int32_t>(a.lag));
    const __m256i laneMask = _mm256_set1_epi32(static_cast<std::int32_t>((1u << a.laneShift) - 1));
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(a.laneShift));
    auto load = [](const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); };
    // All ones in a lane where x ≥ limit, unsigned.
    auto atLeast = [](__m256i x, __m256i limit) { return _mm256_cmpeq_epi32(_mm256_max_epu32(x, limit), x); };
    __m256i differs = _mm256_setzero_si256();
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        const __m256i r = load(a.row + j);
        const __m256i c = load(a.column + j);
        const __m256i lane = _mm256_and_si256(r, laneMask);
        const __m256i step = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_srl_epi32(r, shift), steps), c),
                                              _mm256_mullo_epi32(lane, lag));
        const __m256i position = _mm256_add_epi32(_mm256_sll_epi32(step, shift), lane);
        differs = _mm256_or_si256(differs, _mm256_xor_si256(position, load(a.keptPosition + j)));
        differs = _mm256_or_si256(differs, _mm256_xor_si256(load(a.weight + j), load(a.keptWeight + j)));
        differs = _mm256_or_si256(differs, _mm256_or_si256(atLeast(r, rows), atLeast(c, cols)));
    }
    return static_cast<std::uint32_t>(!_mm256_testz_si256(differs, differs)) | layoutDifferencesScalar(a, j, last);
}

} // namespace simd
} // namespace imrestore
