// waveanalyze: the periodic discrete wavelet transform of a signal or image.
//
// Interface:
//   [y, L] = waveanalyze(x, h [, L])
//     x  real double m×n (a row or column vector is a signal)
//     h  scaling filter, real double vector
//     L  number of levels (default: as many as every dimension halves evenly)
//   y  m×n transform: approximation top left, detail quadrants per level
//   L  the number of levels used
#include "plugins/wavelet_gateway.h"

using namespace imrestore;

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    runWaveletGateway("waveanalyze", WaveletDirection::forward, nlhs, plhs, nrhs, prhs);
}
