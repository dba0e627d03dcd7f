// The NL-TV per-pixel steps, 16 pixels of a row per AVX-512 vector.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include "simd/avx512.h"

namespace imrestore {
namespace simd {

void divergenceTermsAvx512(const DivergenceTerms& a, Range first, Range last)
{
    const float* dHere = a.d + a.rowStart;
    const float* bHere = a.b + a.rowStart;
    Range j = first;
    for (; j + 16 <= last; j += 16) {
        const __m512 r = _mm512_loadu_ps(a.root + j);
        const __m512i other = _mm512_loadu_si512(a.neighbour + j);
        __m512 total = _mm512_loadu_ps(a.sum + j);
        const __m512 dDiff = _mm512_sub_ps(_mm512_loadu_ps(dHere + j), avx512::gather(a.d, other));
        total = _mm512_add_ps(total, _mm512_mul_ps(r, dDiff));
        const __m512 bDiff = _mm512_sub_ps(_mm512_loadu_ps(bHere + j), avx512::gather(a.b, other));
        total = _mm512_sub_ps(total, _mm512_mul_ps(r, bDiff));
        _mm512_storeu_ps(a.sum + j, total);
    }
    divergenceTermsScalar(a, j, last);
}

void gradientTermsAvx512(const GradientTerms& a, Range first, Range last)
{
    Range j = first;
    for (; j + 16 <= last; j += 16) {
        avx512::prefetch(a.root + j + a.nextRow);
        avx512::prefetch(a.position + j + a.nextRow);
        avx512::prefetch(a.b + j + a.nextRow);
        avx512::prefetch(a.d + j + a.nextRow);
        const __m512i position = _mm512_loadu_si512(a.position + j);
        const __mmask16 origin = _mm512_testn_epi32_mask(position, position);
        const __m512i where = _mm512_mask_mov_epi32(position, origin, _mm512_set1_epi32(a.originCopy));
        const __m512 grad = _mm512_mul_ps(_mm512_loadu_ps(a.root + j),
                                          _mm512_sub_ps(avx512::gather(a.u, where), _mm512_loadu_ps(a.own + j)));
        const __m512 t = _mm512_add_ps(grad, _mm512_loadu_ps(a.b + j));
        _mm512_storeu_ps(a.norm + j, _mm512_add_ps(_mm512_loadu_ps(a.norm + j), _mm512_mul_ps(t, t)));
        _mm512_storeu_ps(a.d + j, t);
        _mm512_storeu_ps(a.gradient + j, grad);
    }
    gradientTermsScalar(a, j, last);
}

void shrinkTermsAvx512(const ShrinkTerms& a, Range first, Range last)
{
    const __m512 tau = _mm512_set1_ps(a.tau);
    Range j = first;
    for (; j + 16 <= last; j += 16) {
        const __m512 n = _mm512_loadu_ps(a.norm + j);
        const __mmask16 below = _mm512_cmp_ps_mask(tau, n, _CMP_GT_OQ);
        const __m512 factor = _mm512_div_ps(_mm512_sub_ps(n, tau), n);
        const __m512 grad = _mm512_loadu_ps(a.gradient + j);
        const __m512 b = _mm512_loadu_ps(a.bIn + j);
        const __m512 shrunk = _mm512_mask_mov_ps(_mm512_mul_ps(_mm512_loadu_ps(a.d + j), factor), below,
                                                 _mm512_setzero_ps());
        _mm512_storeu_ps(a.d + j, shrunk);
        _mm512_storeu_ps(a.b + j, _mm512_mask_blend_ps(below, _mm512_add_ps(b, _mm512_sub_ps(grad, shrunk)),
                                                       _mm512_add_ps(b, grad)));
    }
    shrinkTermsScalar(a, j, last);
}

} // namespace simd
} // namespace imrestore
