// The ROF shrink, eight rows of a column pair per AVX-512 vector.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

void rofShrinkAvx512(const RofShrink& a, Range first, Range last)
{
    const __m512d tau = _mm512_set1_pd(a.tau), tauSquared = _mm512_set1_pd(a.tauSquared);
    Range y = first;
    for (; y + 8 <= last; y += 8) {
        const __m512d h = _mm512_loadu_pd(a.here + y);
        const __m512d sx = _mm512_add_pd(_mm512_sub_pd(_mm512_loadu_pd(a.right + y), h), _mm512_loadu_pd(a.bx + y));
        const __m512d sy = _mm512_add_pd(_mm512_sub_pd(_mm512_loadu_pd(a.here + y + 1), h), _mm512_loadu_pd(a.by + y));
        const __m512d s2 = _mm512_add_pd(_mm512_mul_pd(sx, sx), _mm512_mul_pd(sy, sy));
        const __mmask8 zero = _mm512_cmp_pd_mask(tauSquared, s2, _CMP_GT_OQ);
        // Where every row takes the zero branch, the root and the division are skipped.
        if (zero == 0xFF) {
            _mm512_storeu_pd(a.dx + y, _mm512_setzero_pd());
            _mm512_storeu_pd(a.dy + y, _mm512_setzero_pd());
            continue;
        }
        const __m512d norm = _mm512_maskz_sqrt_pd(0xFF, s2);
        const __m512d q = _mm512_div_pd(_mm512_sub_pd(norm, tau), norm);
        _mm512_storeu_pd(a.dx + y, _mm512_maskz_mul_pd(static_cast<__mmask8>(~zero), q, sx));
        _mm512_storeu_pd(a.dy + y, _mm512_maskz_mul_pd(static_cast<__mmask8>(~zero), q, sy));
    }
    rofShrinkScalar(a, y, last);
}

} // namespace simd
} // namespace imrestore
