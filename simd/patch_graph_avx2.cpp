// Patch distances of 16 lanes (a window column's pixels, or a border
// pixel's candidates), four vectors of four double sums per candidate, two
// candidates at a time (eight accumulators fit the sixteen registers).
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {
namespace {

// sum + k·d·d in double, rounded to single and widened back.
inline __m256d addTerms(__m256d sum, __m256d k, __m256d d)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(sum, _mm256_mul_pd(_mm256_mul_pd(k, d), d))));
}

template <int Q>
void candidates(const WindowDistances& w, Range n0)
{
    __m256d sum[Q][4];
    for (int q = 0; q < Q; ++q)
        for (int v = 0; v < 4; ++v)
            sum[q][v] = _mm256_setzero_pd();
    const int half = w.patchHalf;
    for (int a = -w.up; a <= w.down; ++a) {
        for (int b = -w.left; b <= w.right; ++b) {
            const __m256d k = _mm256_set1_pd(w.kernel[(a + half) + w.patchSide * (b + half)]);
            const float* centre = w.centre + a + w.rows * b;
            const __m256 own0 = w.oneCentre ? _mm256_set1_ps(*centre) : _mm256_loadu_ps(centre);
            const __m256 own1 = w.oneCentre ? own0 : _mm256_loadu_ps(centre + 8);
            for (int q = 0; q < Q; ++q) {
                const float* candidate = centre + w.shift[n0 + q];
                const __m256 d0 = _mm256_sub_ps(own0, _mm256_loadu_ps(candidate));
                const __m256 d1 = _mm256_sub_ps(own1, _mm256_loadu_ps(candidate + 8));
                sum[q][0] = addTerms(sum[q][0], k, _mm256_cvtps_pd(_mm256_castps256_ps128(d0)));
                sum[q][1] = addTerms(sum[q][1], k, _mm256_cvtps_pd(_mm256_extractf128_ps(d0, 1)));
                sum[q][2] = addTerms(sum[q][2], k, _mm256_cvtps_pd(_mm256_castps256_ps128(d1)));
                sum[q][3] = addTerms(sum[q][3], k, _mm256_cvtps_pd(_mm256_extractf128_ps(d1, 1)));
            }
        }
    }
    for (int q = 0; q < Q; ++q)
        for (int v = 0; v < 4; ++v)
            _mm_storeu_ps(w.distances[n0 + q] + 4 * v, _mm256_cvtpd_ps(sum[q][v]));
}

} // namespace

void windowDistancesAvx2(const WindowDistances& w, Range first, Range last)
{
    static_assert(kWindowLanes == 16, "four vectors of doubles per candidate");
    Range n = first;
    for (; n + 2 <= last; n += 2)
        candidates<2>(w, n);
    for (; n < last; ++n)
        candidates<1>(w, n);
}

} // namespace simd
} // namespace imrestore
