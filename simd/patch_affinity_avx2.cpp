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
    Range k = first;
    for (; k + 4 <= last; k += 4) {
        __m256d sum = _mm256_setzero_pd();
        for (int e = 0; e < a.entries; ++e) {
            const double* centre = a.extended + a.offset[e];
            const __m256d difference = _mm256_sub_pd(_mm256_set1_pd(centre[a.a]), _mm256_loadu_pd(centre + a.b + k));
            sum = _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(a.kernel[e]), _mm256_mul_pd(difference, difference)));
        }
        _mm256_storeu_pd(a.out + k, sum);
    }
    patchDistancesScalar(a, k, last);
}

} // namespace simd
} // namespace imrestore
