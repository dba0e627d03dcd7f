// Wavelet analysis and synthesis steps, four outputs per AVX2 vector, two
// vectors at a time, their sums kept in registers over all taps.
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {
namespace {

inline __m256d multiplyAdd(__m256d sum, double tap, __m256d sample)
{
    return _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(tap), sample));
}

// Σ (a·l + b·h) one step: sum + (a·l + b·h), the pair rounded before the sum.
inline __m256d pairAdd(__m256d sum, double a, __m256d l, double b, __m256d h)
{
    return _mm256_add_pd(sum, _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(a), l), _mm256_mul_pd(_mm256_set1_pd(b), h)));
}

} // namespace

void analysisBlockAvx2(const AnalysisBlock& a, Range first, Range last)
{
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        __m256d low[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        __m256d high[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        for (Range t = 0; t <= a.last; ++t) {
            const double* run = (t % 2 == 0 ? a.even : a.odd) + t / 2 + j;
            for (int v = 0; v < 2; ++v) {
                const __m256d sample = _mm256_loadu_pd(run + 4 * v);
                low[v] = multiplyAdd(low[v], a.aLow[a.last - t], sample);
                high[v] = multiplyAdd(high[v], a.aHigh[a.last - t], sample);
            }
        }
        for (int v = 0; v < 2; ++v) {
            _mm256_storeu_pd(a.lo + j + 4 * v, low[v]);
            _mm256_storeu_pd(a.hi + j + 4 * v, high[v]);
        }
    }
    analysisBlockScalar(a, j, last);
}

void synthesisBlockAvx2(const SynthesisBlock& a, Range first, Range last)
{
    Range u = first;
    for (; u + 4 <= last; u += 4) {
        __m256d even = _mm256_setzero_pd(), odd = _mm256_setzero_pd();
        for (Range k = 0; k <= a.e; ++k) {
            const __m256d low = _mm256_loadu_pd(a.lo + u + k), high = _mm256_loadu_pd(a.hi + u + k);
            even = pairAdd(even, a.sLow[a.last - 1 - 2 * k], low, a.sHigh[a.last - 1 - 2 * k], high);
            odd = pairAdd(odd, a.sLow[a.last - 2 * k], low, a.sHigh[a.last - 2 * k], high);
        }
        // (e0 o0 e2 o2) and (e1 o1 e3 o3), then their halves in order.
        const __m256d lower = _mm256_unpacklo_pd(even, odd), upper = _mm256_unpackhi_pd(even, odd);
        _mm256_storeu_pd(a.out + 2 * u, _mm256_permute2f128_pd(lower, upper, 0x20));
        _mm256_storeu_pd(a.out + 2 * u + 4, _mm256_permute2f128_pd(lower, upper, 0x31));
    }
    synthesisBlockScalar(a, u, last);
}

// Two vectors hold the eight rows of a group.
void rowGroupAnalysisAvx2(const RowGroupAnalysis& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        __m256d low[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        __m256d high[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        for (Range t = 0; t <= a.last; ++t) {
            const double* sample = a.samples + (2 * j + t) * kRowGroup;
            for (int v = 0; v < 2; ++v) {
                const __m256d s = _mm256_loadu_pd(sample + 4 * v);
                low[v] = multiplyAdd(low[v], a.aLow[a.last - t], s);
                high[v] = multiplyAdd(high[v], a.aHigh[a.last - t], s);
            }
        }
        for (int v = 0; v < 2; ++v) {
            _mm256_storeu_pd(a.lo + j * kRowGroup + 4 * v, low[v]);
            _mm256_storeu_pd(a.hi + j * kRowGroup + 4 * v, high[v]);
        }
    }
}

void rowGroupSynthesisAvx2(const RowGroupSynthesis& a, Range first, Range last)
{
    for (Range u = first; u < last; ++u) {
        __m256d even[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        __m256d odd[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
        for (Range k = 0; k <= a.e; ++k)
            for (int v = 0; v < 2; ++v) {
                const __m256d l = _mm256_loadu_pd(a.lo + (u + k) * kRowGroup + 4 * v);
                const __m256d h = _mm256_loadu_pd(a.hi + (u + k) * kRowGroup + 4 * v);
                even[v] = pairAdd(even[v], a.sLow[a.last - 1 - 2 * k], l, a.sHigh[a.last - 1 - 2 * k], h);
                odd[v] = pairAdd(odd[v], a.sLow[a.last - 2 * k], l, a.sHigh[a.last - 2 * k], h);
            }
        for (int v = 0; v < 2; ++v) {
            _mm256_storeu_pd(a.out + 2 * u * kRowGroup + 4 * v, even[v]);
            _mm256_storeu_pd(a.out + (2 * u + 1) * kRowGroup + 4 * v, odd[v]);
        }
    }
}

} // namespace simd
} // namespace imrestore
