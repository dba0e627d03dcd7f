// The ROF shrink, four rows of a column pair per AVX2 vector.
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

void rofShrinkAvx2(const RofShrink& a, Range first, Range last)
{
    const __m256d tau = _mm256_set1_pd(a.tau), tauSquared = _mm256_set1_pd(a.tauSquared);
    Range y = first;
    for (; y + 4 <= last; y += 4) {
        const __m256d h = _mm256_loadu_pd(a.here + y);
        const __m256d sx = _mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(a.right + y), h), _mm256_loadu_pd(a.bx + y));
        const __m256d sy = _mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(a.here + y + 1), h), _mm256_loadu_pd(a.by + y));
        const __m256d s2 = _mm256_add_pd(_mm256_mul_pd(sx, sx), _mm256_mul_pd(sy, sy));
        const __m256d zero = _mm256_cmp_pd(tauSquared, s2, _CMP_GT_OQ);
        // Where every row takes the zero branch, the root and the division are skipped.
        if (_mm256_movemask_pd(zero) == 0xF) {
            _mm256_storeu_pd(a.dx + y, _mm256_setzero_pd());
            _mm256_storeu_pd(a.dy + y, _mm256_setzero_pd());
            continue;
        }
        const __m256d norm = _mm256_sqrt_pd(s2);
        const __m256d q = _mm256_div_pd(_mm256_sub_pd(norm, tau), norm);
        _mm256_storeu_pd(a.dx + y, _mm256_andnot_pd(zero, _mm256_mul_pd(q, sx)));
        _mm256_storeu_pd(a.dy + y, _mm256_andnot_pd(zero, _mm256_mul_pd(q, sy)));
    }
    rofShrinkScalar(a, y, last);
}

} // namespace simd
} // namespace imrestore
