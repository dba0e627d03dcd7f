// wavesynth: rebuilds a signal or image from its waveanalyze transform.
//
// Interface:
//   [x, L] = wavesynth(y, h [, L])
//     y  real double m×n transform in the layout waveanalyze writes
//     h  the scaling filter of the transform, even length ≥ 2
//     L  number of levels (default as in waveanalyze)
//   x  m×n signal or image
//   L  the number of levels used
#include "plugins/wavelet_gateway.h"

using namespace imrestore;

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    runWaveletGateway("wavesynth", WaveletDirection::inverse, nlhs, plhs, nrhs, prhs);
}
