// Patch distances down a window column, eight candidates per AVX-512 vector,
// two vectors at a time.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

namespace {

// The lanes of a vector of eight that hold candidates, when `left` remain.
inline __mmask8 laneMask(Range left)
{
    return left >= 8 ? __mmask8(0xFF) : left <= 0 ? __mmask8(0) : static_cast<__mmask8>((1u << left) - 1);
}

} // namespace

void patchDistancesAvx512(const PatchDistances& a, Range first, Range last)
{
    // Sixteen candidates at a time in two independent sums (a window column
    // has up to 2t + 1), the lanes past the last one masked off.
    for (Range k = first; k < last; k += 16) {
        const __mmask8 low = laneMask(last - k), high = laneMask(last - k - 8);
        __m512d sum0 = _mm512_setzero_pd(), sum1 = _mm512_setzero_pd();
        for (int e = 0; e < a.entries; ++e) {
            const double* centre = a.extended + a.offset[e];
            const double* candidates = centre + a.b + k;
            const __m512d own = _mm512_set1_pd(centre[a.a]), weight = _mm512_set1_pd(a.kernel[e]);
            const __m512d d0 = _mm512_sub_pd(own, _mm512_maskz_loadu_pd(low, candidates));
            const __m512d d1 = _mm512_sub_pd(own, _mm512_maskz_loadu_pd(high, candidates + 8));
            sum0 = _mm512_add_pd(sum0, _mm512_mul_pd(weight, _mm512_mul_pd(d0, d0)));
            sum1 = _mm512_add_pd(sum1, _mm512_mul_pd(weight, _mm512_mul_pd(d1, d1)));
        }
        _mm512_mask_storeu_pd(a.out + k, low, sum0);
        _mm512_mask_storeu_pd(a.out + k + 8, high, sum1);
    }
}

} // namespace simd
} // namespace imrestore
