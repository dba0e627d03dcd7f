// The total-variation denoiser's recipe: split Bregman ROF (tv/) with its
// fidelity weight chosen by Stein's unbiased risk estimate.
#pragma once

#include "common/stop_check.h"
#include "recipes/recipe_log.h"

#include <cstddef>

namespace imrestore {

// The weights the risk estimate chooses among, times 1/σ.
constexpr int kTvWeightCandidates = 5;
extern const double kTvWeightFactors[kTvWeightCandidates];   // 0.7, 1, 1.2, 1.4, 1.7

// Denoises one M×N column-major channel f with noise level σ into u. With
// mu > 0 that is denoiseRof(f, mu, tolerance). Otherwise mu is the candidate
// c = factor/σ of least risk
//   |v − f|²/n − σ² + 2σ²·bᵀ(w − v)/(e·n),  v = ROF(f, c), w = ROF(f + e·b, c),
// with b the probe of recipes/sure_probe.h and e = 0.1σ; the sums run in
// element order and the first candidate of least risk wins. The ten solves
// run on `threads` threads, one solve each. M < 2, N < 2 or σ = 0 copies f.
// Returns false, u untouched, when work memory is short or `stop` said stop;
// *chosenMu is the weight used (0 when f was copied). `log`, when given,
// receives the line "tvdenoise: sigma …, mu …" of a channel denoised.
bool denoiseTvChannel(const double* f, std::ptrdiff_t M, std::ptrdiff_t N, double sigma, double mu, double tolerance,
                      double* u, double* chosenMu, StopCheck* stop, int threads, const RecipeLog* log = nullptr);

} // namespace imrestore
