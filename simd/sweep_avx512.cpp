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

} // namespace simd
} // namespace imrestore
