// Patch distances down a window column, eight candidates per AVX-512 vector.
#include "simd/kernels.h"

#if !defined(__AVX512F__)
#error "compile this file with -mavx512f"
#endif

#include <immintrin.h>

namespace imrestore {
namespace simd {

void patchDistancesAvx512(const PatchDistances& a, Range first, Range last)
{
    Range k = first;
    for (; k + 8 <= last; k += 8) {
        __m512d sum = _mm512_setzero_pd();
        for (int e = 0; e < a.entries; ++e) {
            const double* centre = a.extended + a.offset[e];
            const __m512d difference = _mm512_sub_pd(_mm512_set1_pd(centre[a.a]), _mm512_loadu_pd(centre + a.b + k));
            sum = _mm512_add_pd(sum, _mm512_mul_pd(_mm512_set1_pd(a.kernel[e]), _mm512_mul_pd(difference, difference)));
        }
        _mm512_storeu_pd(a.out + k, sum);
    }
    patchDistancesScalar(a, k, last);
}

} // namespace simd
} // namespace imrestore
