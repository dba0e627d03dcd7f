// The NL-TV per-pixel steps, 8 pixels of a row per AVX2 vector.
#include "simd/kernels.h"

#if !defined(__AVX2__)
#error "compile this file with -mavx2"
#endif

#include "simd/avx2.h"

namespace imrestore {
namespace simd {
namespace {

inline __m256i load(const std::int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

} // namespace

void divergenceTermsAvx2(const DivergenceTerms& a, Range first, Range last)
{
    const float* dHere = a.d + a.rowStart;
    const float* bHere = a.b + a.rowStart;
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        const __m256 r = _mm256_loadu_ps(a.root + j);
        const __m256i other = load(a.neighbour + j);
        __m256 total = _mm256_loadu_ps(a.sum + j);
        const __m256 dDiff = _mm256_sub_ps(_mm256_loadu_ps(dHere + j), avx2::gather(a.d, other));
        total = _mm256_add_ps(total, _mm256_mul_ps(r, dDiff));
        const __m256 bDiff = _mm256_sub_ps(_mm256_loadu_ps(bHere + j), avx2::gather(a.b, other));
        total = _mm256_sub_ps(total, _mm256_mul_ps(r, bDiff));
        _mm256_storeu_ps(a.sum + j, total);
    }
    divergenceTermsScalar(a, j, last);
}

void gradientTermsAvx2(const GradientTerms& a, Range first, Range last)
{
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        avx2::prefetch(a.root + j + a.nextRow);
        avx2::prefetch(a.position + j + a.nextRow);
        avx2::prefetch(a.b + j + a.nextRow);
        avx2::prefetch(a.d + j + a.nextRow);
        const __m256i position = load(a.position + j);
        const __m256i origin = _mm256_cmpeq_epi32(position, _mm256_setzero_si256());
        const __m256i where = _mm256_blendv_epi8(position, _mm256_set1_epi32(a.originCopy), origin);
        const __m256 grad = _mm256_mul_ps(_mm256_loadu_ps(a.root + j),
                                          _mm256_sub_ps(avx2::gather(a.u, where), _mm256_loadu_ps(a.own + j)));
        const __m256 t = _mm256_add_ps(grad, _mm256_loadu_ps(a.b + j));
        _mm256_storeu_ps(a.norm + j, _mm256_add_ps(_mm256_loadu_ps(a.norm + j), _mm256_mul_ps(t, t)));
        _mm256_storeu_ps(a.d + j, t);
        _mm256_storeu_ps(a.gradient + j, grad);
    }
    gradientTermsScalar(a, j, last);
}

void shrinkTermsAvx2(const ShrinkTerms& a, Range first, Range last)
{
    const __m256 tau = _mm256_set1_ps(a.tau);
    Range j = first;
    for (; j + 8 <= last; j += 8) {
        const __m256 n = _mm256_loadu_ps(a.norm + j);
        const __m256 below = _mm256_cmp_ps(tau, n, _CMP_GT_OQ);
        const __m256 factor = _mm256_div_ps(_mm256_sub_ps(n, tau), n);
        const __m256 grad = _mm256_loadu_ps(a.gradient + j);
        const __m256 b = _mm256_loadu_ps(a.bIn + j);
        const __m256 shrunk = _mm256_andnot_ps(below, _mm256_mul_ps(_mm256_loadu_ps(a.d + j), factor));
        _mm256_storeu_ps(a.d + j, shrunk);
        _mm256_storeu_ps(a.b + j, _mm256_blendv_ps(_mm256_add_ps(b, _mm256_sub_ps(grad, shrunk)),
                                                   _mm256_add_ps(b, grad), below));
    }
    shrinkTermsScalar(a, j, last);
}

} // namespace simd
} // namespace imrestore
