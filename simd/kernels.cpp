// The one place that picks a kernel per instruction set.
#include "simd/kernels.h"

namespace imrestore {
namespace simd {
namespace {

const Kernels kScalar{SimdPath::none,          sweepWavefrontScalar, layoutDifferencesScalar,   divergenceTermsScalar,
                      gradientTermsScalar,     shrinkTermsScalar,      rofShrinkScalar,
                      patchDistancesScalar,    windowDistancesScalar,    analysisBlockScalar,    synthesisBlockScalar,
                      rowGroupAnalysisScalar,  rowGroupSynthesisScalar};

// The vector files are built for x86-64 processors only.
#if defined(__x86_64__) || defined(_M_X64)
const Kernels kAvx2{SimdPath::avx2,          sweepWavefrontAvx2, layoutDifferencesAvx2,   divergenceTermsAvx2,
                    gradientTermsAvx2,       shrinkTermsAvx2,      rofShrinkAvx2,
                    patchDistancesAvx2,    windowDistancesAvx2,      analysisBlockAvx2,    synthesisBlockAvx2,
                    rowGroupAnalysisAvx2,    rowGroupSynthesisAvx2};
const Kernels kAvx512{SimdPath::avx512,        sweepWavefrontAvx512, layoutDifferencesAvx512,   divergenceTermsAvx512,
                      gradientTermsAvx512,     shrinkTermsAvx512,      rofShrinkAvx512,
                      patchDistancesAvx512,    windowDistancesAvx512,    analysisBlockAvx512,    synthesisBlockAvx512,
                      rowGroupAnalysisAvx512,  rowGroupSynthesisAvx512};
#endif

} // namespace

const Kernels& kernelsFor(SimdPath path)
{
    if (path > bestSimdPath())
        path = bestSimdPath();
#if defined(__x86_64__) || defined(_M_X64)
    if (path == SimdPath::avx512)
        return kAvx512;
    if (path == SimdPath::avx2)
        return kAvx2;
#endif
    return kScalar;
}

const Kernels& kernels() { return kernelsFor(simdPath()); }

} // namespace simd
} // namespace imrestore
