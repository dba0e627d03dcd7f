// Wavelet analysis and synthesis steps, eight outputs per AVX-512 vector,
// their sums kept in registers over all taps.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

void analysisBlockAvx512(const AnalysisBlock& a, Range first, Range last)
{
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        __m512d low = _mm512_setzero_pd(), high = _mm512_setzero_pd();
        for (Range t = 0; t <= a.last; ++t) {
            const __m512d sample = _mm512_loadu_pd((t % 2 == 0 ? a.even : a.odd) + t / 2 + j);
            low = _mm512_add_pd(low, _mm512_mul_pd(_mm512_set1_pd(a.aLow[a.last - t]), sample));
            high = _mm512_add_pd(high, _mm512_mul_pd(_mm512_set1_pd(a.aHigh[a.last - t]), sample));
        }
        _mm512_storeu_pd(a.lo + j, low);
        _mm512_storeu_pd(a.hi + j, high);
    }
    analysisBlockScalar(a, j, last);
}

void synthesisBlockAvx512(const SynthesisBlock& a, Range first, Range last)
{
    // The even and odd samples interleaved on the way out.
    const __m512i lowerHalf = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i upperHalf = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    Range u = first;
    for (; u + 8 <= last; u += 8) {
        __m512d even = _mm512_setzero_pd(), odd = _mm512_setzero_pd();
        for (Range k = 0; k <= a.e; ++k) {
            const __m512d low = _mm512_loadu_pd(a.lo + u + k), high = _mm512_loadu_pd(a.hi + u + k);
            const __m512d pairEven = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a.sLow[a.last - 1 - 2 * k]), low),
                                                   _mm512_mul_pd(_mm512_set1_pd(a.sHigh[a.last - 1 - 2 * k]), high));
            const __m512d pairOdd = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a.sLow[a.last - 2 * k]), low),
                                                  _mm512_mul_pd(_mm512_set1_pd(a.sHigh[a.last - 2 * k]), high));
            even = _mm512_add_pd(even, pairEven);
            odd = _mm512_add_pd(odd, pairOdd);
        }
        _mm512_storeu_pd(a.out + 2 * u, _mm512_permutex2var_pd(even, lowerHalf, odd));
        _mm512_storeu_pd(a.out + 2 * u + 8, _mm512_permutex2var_pd(even, upperHalf, odd));
    }
    synthesisBlockScalar(a, u, last);
}

// One vector holds the eight rows of a group.
void rowGroupAnalysisAvx512(const RowGroupAnalysis& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        __m512d low = _mm512_setzero_pd(), high = _mm512_setzero_pd();
        for (Range t = 0; t <= a.last; ++t) {
            const __m512d sample = _mm512_loadu_pd(a.samples + (2 * j + t) * kRowGroup);
            low = _mm512_add_pd(low, _mm512_mul_pd(_mm512_set1_pd(a.aLow[a.last - t]), sample));
            high = _mm512_add_pd(high, _mm512_mul_pd(_mm512_set1_pd(a.aHigh[a.last - t]), sample));
        }
        _mm512_storeu_pd(a.lo + j * kRowGroup, low);
        _mm512_storeu_pd(a.hi + j * kRowGroup, high);
    }
}

void rowGroupSynthesisAvx512(const RowGroupSynthesis& a, Range first, Range last)
{
    for (Range u = first; u < last; ++u) {
        __m512d even = _mm512_setzero_pd(), odd = _mm512_setzero_pd();
        for (Range k = 0; k <= a.e; ++k) {
            const __m512d l = _mm512_loadu_pd(a.lo + (u + k) * kRowGroup), h = _mm512_loadu_pd(a.hi + (u + k) * kRowGroup);
            even = _mm512_add_pd(even, _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a.sLow[a.last - 1 - 2 * k]), l),
                                                     _mm512_mul_pd(_mm512_set1_pd(a.sHigh[a.last - 1 - 2 * k]), h)));
            odd = _mm512_add_pd(odd, _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(a.sLow[a.last - 2 * k]), l),
                                                   _mm512_mul_pd(_mm512_set1_pd(a.sHigh[a.last - 2 * k]), h)));
        }
        _mm512_storeu_pd(a.out + 2 * u * kRowGroup, even);
        _mm512_storeu_pd(a.out + (2 * u + 1) * kRowGroup, odd);
    }
}

} // namespace simd
} // namespace imrestore
