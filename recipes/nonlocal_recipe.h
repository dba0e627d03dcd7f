// The nonlocal denoisers' recipe: a weight graph from the patches of the
// image pre-denoised by the wavelet recipe, then nonlocal TV (split Bregman)
// or nonlocal H1 over it, the fidelity weight chosen by Stein's unbiased
// risk estimate of the H1 model.
#pragma once

#include "common/stop_check.h"
#include "nonlocal/patch_graph.h"
#include "recipes/recipe_log.h"

#include <cstddef>
#include <vector>

namespace imrestore {

enum class NonlocalModel { tv, h1 };

struct NonlocalRecipe {
    NonlocalModel model;
    int patchSide;      // odd
    int windowSide;     // odd; cut down to fit the image
    int neighbours;     // best-matching neighbours besides the 4 nearest
    double h;           // patchgraph's h; 0: 0.1·σ²·Σ kernel
    double lambda;      // the split penalty (NL-TV)
    double mu;          // the fidelity weight; 0: chosen by the risk estimate
    int iterations;     // outer iterations of the final solve
};

// The H1 weights the risk estimate chooses among: factor·0.01/σ; the NL-TV
// weight that goes with a factor is 1.4·factor·0.4/σ.
constexpr int kH1WeightCandidates = 4;
extern const double kH1WeightFactors[kH1WeightCandidates];   // 0.25, 0.5, 1, 2
// The outer iterations of the risk estimate's H1 solves for NL-TV (for H1,
// those of the recipe).
constexpr int kTvRiskIterations = 10;

// What the graph of an M×N channel will be: the patch kernel and the
// settings of buildPatchGraph, the window cut down to 2·(min(M, N) − half) + 1.
struct NonlocalGraphPlan {
    PatchGraphSettings settings;    // h still 0 when the recipe's is
    std::vector<float> kernel;      // exp(−(a² + b²)/2) over the patch, in single precision
};

// Why a channel cannot have the graph: fits, the image is not larger than
// half the patch side, the window holds fewer than 3 pixels a side, or fewer
// other pixels than the neighbours asked for.
enum class NonlocalPlanProblem { none, imageTooSmall, windowTooSmall, tooManyNeighbours };
NonlocalPlanProblem planNonlocalGraph(std::ptrdiff_t M, std::ptrdiff_t N, const NonlocalRecipe& recipe,
                                      NonlocalGraphPlan* plan);

// Bytes of work memory an M×N image needs (the graph, its sweep layout, the
// solves of one channel at a time), for the caller's check before it starts.
double nonlocalRecipeBytes(std::ptrdiff_t M, std::ptrdiff_t N, const NonlocalRecipe& recipe);

// Denoises the M×N×C column-major image x (double), channel c with noise
// level sigma[c] ≥ 0, into u, as the recipe says, `name` ("nltvdenoise" or
// "nlh1denoise") starting its log lines:
//  1. the guide g is single(mean over the channels of the wavelet recipe of
//     each with its defaults and σ_c, summed in channel order); the graph
//     of g by buildPatchGraph with the plan's settings, 4 nearest neighbours
//     and, unless h is given, h = single(0.1·σ²)·Σ kernel (the sum in single
//     precision), σ² = the mean of the σ_c² (for one channel σ² itself).
//     One graph serves every channel: the patches of a colour image are
//     compared on its mean;
//  2. for each channel with σ_c > 0 (the others are copied), unless mu is
//     given: for each factor F, v = H1(single(f), μ_F) and Ab = H1(b, μ_F),
//     μ_F = single(F·0.01/σ_c), b the probe; risk |v − f|²/n − σ_c² +
//     2σ_c²·bᵀAb/n; the first factor of least risk wins. The eight solves
//     run side by side over one sweep layout;
//  3. NL-TV: u = graphshrink of single(f) from d = b = 0 with λ and
//     μ = 1.4·F·0.4/σ_c (or mu), `iterations` outer iterations; H1: u = the
//     chosen v, or H1(single(f), mu) over `iterations`.
// A noise level too small for single precision (h underflows to 0, or a
// weight to choose among overflows) leaves the image, or that channel, as
// it is. False, u untouched, when memory is short or `stop` said stop.
bool denoiseNonlocal(const char* name, const double* x, std::ptrdiff_t M, std::ptrdiff_t N, std::ptrdiff_t C,
                     const double* sigma, const NonlocalRecipe& recipe, double* u, StopCheck* stop, int threads,
                     const RecipeLog* log = nullptr);

} // namespace imrestore
