// The wavelet denoiser's recipe: soft thresholds with BayesShrink's level on
// every detail subband of the periodic transform (wavelet/), over a mirrored
// extension of the image and averaged over cycle shifts.
#pragma once

#include "common/stop_check.h"
#include "recipes/recipe_log.h"

#include <cstddef>

namespace imrestore {

struct WaveletRecipe {
    const double* filter;   // orthonormal scaling filter
    std::ptrdiff_t taps;    // its even length
    int levels;             // at most; fewer for a small image
    double scale;           // factor on every threshold
    int shifts;             // cycle shifts along each direction
};

// The defaults of wavedenoise: the Daubechies scaling filter of 8 taps
// (PyWavelets' db4), 5 levels, scale 1, 2 shifts each way.
extern const double kDaubechies8[8];
constexpr WaveletRecipe kDefaultWaveletRecipe{kDaubechies8, 8, 5, 1.0, 2};

// The levels used for an M×N image: min(levels, floor(log2(min(M, N)))).
int waveletRecipeLevels(std::ptrdiff_t M, std::ptrdiff_t N, int levels);

// Denoises one M×N column-major channel f with noise level σ into u:
//  1. x is f extended to Mp×Np, Mp = ceil(2M/2^L)·2^L (Np likewise), its row
//     index running 1..M and then back over round(linspace(M, 1, Mp − M)),
//     as the host's linspace builds it (symmetrically from both ends);
//  2. for every shift (dy, dx), dy outer, the transform of x shifted
//     circularly by (dy, dx) has each detail subband d soft-thresholded at
//     t = scale·σ²/sqrt(max(mean(d²) − σ², 0)), or max|d| when that root is
//     0, and is transformed back and shifted back;
//  3. u is the sum of those, in that order, over the first M×N, divided by
//     shifts².
// The shifts run on `threads` threads. L < 1 or σ = 0 copies f. `log`, when
// given, receives the line "wavedenoise: sigma …" of a channel denoised,
// with the smallest and largest thresholds of the last shift.
// Returns false, u untouched, when work memory is short or `stop` said stop.
bool denoiseWaveletChannel(const double* f, std::ptrdiff_t M, std::ptrdiff_t N, double sigma,
                           const WaveletRecipe& recipe, double* u, StopCheck* stop, int threads,
                           const RecipeLog* log = nullptr);

} // namespace imrestore
