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

} // namespace simd
} // namespace imrestore
