// Patch distances down a window column, four candidates per AVX2 vector.
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

void patchDistancesAvx2(const PatchDistances& a, Range first, Range last)
{
    // Sixteen candidates at a time in four independent sums (a window column
    // has up to 2t + 1), the lanes past the last one masked off.
    const __m256i lane = _mm256_setr_epi64x(0, 1, 2, 3);
    for (Range k = first; k < last; k += 16) {
        __m256i mask[4];
        __m256d sum[4];
        for (int v = 0; v < 4; ++v) {
            mask[v] = _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(last - k - 4 * v)), lane);
            sum[v] = _mm256_setzero_pd();
        }
        for (int e = 0; e < a.entries; ++e) {
            const double* centre = a.extended + a.offset[e];
            const double* candidates = centre + a.b + k;
            const __m256d own = _mm256_set1_pd(centre[a.a]), weight = _mm256_set1_pd(a.kernel[e]);
            for (int v = 0; v < 4; ++v) {
                const __m256d d = _mm256_sub_pd(own, _mm256_maskload_pd(candidates + 4 * v, mask[v]));
                sum[v] = _mm256_add_pd(sum[v], _mm256_mul_pd(weight, _mm256_mul_pd(d, d)));
            }
        }
        for (int v = 0; v < 4; ++v)
            _mm256_maskstore_pd(a.out + k + 4 * v, mask[v], sum[v]);
    }
}

} // namespace simd
} // namespace imrestore
