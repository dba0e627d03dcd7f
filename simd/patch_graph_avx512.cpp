// Patch distances of 16 lanes (a window column's pixels, or a border
// pixel's candidates), two vectors of eight double sums per candidate, four
// candidates at a time.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include <immintrin.h>

// GCC 12 warns about the undefined upper halves its own headers leave in the
// conversions (_mm512_undefined_*); nothing here reads them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace imrestore {
namespace simd {
namespace {

// sum + k·d·d in double, rounded to single and widened back.
inline __m512d addTerms(__m512d sum, __m512d k, __m512d d)
{
    return _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_add_pd(sum, _mm512_mul_pd(_mm512_mul_pd(k, d), d))));
}

template <int Q>
void candidates(const WindowDistances& w, Range n0)
{
    __m512d low[Q], high[Q];
    for (int q = 0; q < Q; ++q)
        low[q] = high[q] = _mm512_setzero_pd();
    const int half = w.patchHalf;
    for (int a = -w.up; a <= w.down; ++a) {
        for (int b = -w.left; b <= w.right; ++b) {
            const __m512d k = _mm512_set1_pd(w.kernel[(a + half) + w.patchSide * (b + half)]);
            const float* centre = w.centre + a + w.rows * b;
            const __m512 own = w.oneCentre ? _mm512_set1_ps(*centre) : _mm512_loadu_ps(centre);
            for (int q = 0; q < Q; ++q) {
                const __m512 d = _mm512_sub_ps(own, _mm512_loadu_ps(centre + w.shift[n0 + q]));
                const __m256 dHigh = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(d), 1));
                low[q] = addTerms(low[q], k, _mm512_cvtps_pd(_mm512_castps512_ps256(d)));
                high[q] = addTerms(high[q], k, _mm512_cvtps_pd(dHigh));
            }
        }
    }
    for (int q = 0; q < Q; ++q) {
        _mm256_storeu_ps(w.distances[n0 + q], _mm512_cvtpd_ps(low[q]));
        _mm256_storeu_ps(w.distances[n0 + q] + 8, _mm512_cvtpd_ps(high[q]));
    }
}

} // namespace

void windowDistancesAvx512(const WindowDistances& w, Range first, Range last)
{
    static_assert(kWindowLanes == 16, "one vector of floats per candidate");
    Range n = first;
    for (; n + 4 <= last; n += 4)
        candidates<4>(w, n);
    for (; n < last; ++n)
        candidates<1>(w, n);
}

} // namespace simd
} // namespace imrestore
