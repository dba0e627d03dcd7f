#include "recipes/tv_recipe.h"

#include "common/task_queue.h"
#include "common/work_memory.h"
#include "recipes/sure_probe.h"
#include "tv/rof_denoise.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace imrestore {

const double kTvWeightFactors[kTvWeightCandidates] = {0.7, 1, 1.2, 1.4, 1.7};

namespace {

void logWeight(const RecipeLog* log, double sigma, double mu)
{
    logLine(log, "tvdenoise: sigma %.4g, mu %.4g (%.3g / sigma)\n", sigma, mu, mu * sigma);
}

} // namespace

bool denoiseTvChannel(const double* f, std::ptrdiff_t M, std::ptrdiff_t N, double sigma, double mu, double tolerance,
                      double* u, double* chosenMu, StopCheck* stop, int threads, const RecipeLog* log)
{
    const std::ptrdiff_t n = M * N;
    *chosenMu = 0;
    if (M < 2 || N < 2 || sigma == 0) {
        std::copy(f, f + n, u);
        return true;
    }
    if (mu > 0) {
        *chosenMu = mu;
        if (!denoiseRof(f, M, N, mu, tolerance, u, stop, threads))
            return false;
        logWeight(log, sigma, mu);
        return true;
    }
    const std::size_t pixels = static_cast<std::size_t>(n);
    const double e = 0.1 * sigma;
    const WorkArray<double> probe(pixels), perturbed(pixels), solves(2 * kTvWeightCandidates * pixels);
    if (!probe || !perturbed || !solves)
        return false;
    fillSureProbe(probe.get(), pixels);
    for (std::ptrdiff_t k = 0; k < n; ++k)
        perturbed[k] = f[k] + e * probe[k];
    if (pollStop(stop))   // the probe of a large image takes a while
        return false;
    double candidates[kTvWeightCandidates];
    for (int c = 0; c < kTvWeightCandidates; ++c)
        candidates[c] = kTvWeightFactors[c] / sigma;
    // Solve 2c is ROF(f, c), solve 2c + 1 ROF(f + e·b, c).
    std::atomic<bool> failed{false};
    runTasks(2 * kTvWeightCandidates, threads, stop, [&](std::ptrdiff_t task, StopCheck* taskStop) {
        if (failed.load() || isStopped(taskStop))
            return;
        const double* data = task % 2 == 0 ? f : perturbed.get();
        if (!denoiseRof(data, M, N, candidates[task / 2], tolerance, solves.get() + task * n, taskStop, 1))
            failed.store(true);
    });
    if (failed.load() || isStopped(stop))
        return false;
    double risk = std::numeric_limits<double>::infinity();
    int best = 0;
    for (int c = 0; c < kTvWeightCandidates; ++c) {
        const double* v = solves.get() + 2 * c * n;
        const double* w = v + n;
        double squares = 0, divergence = 0;
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            const double r = v[k] - f[k];
            squares += r * r;
        }
        for (std::ptrdiff_t k = 0; k < n; ++k)
            divergence += probe[k] * (w[k] - v[k]);
        const double sigma2 = std::pow(sigma, 2.0), count = static_cast<double>(n);
        const double r = squares / count - sigma2 + 2 * sigma2 * divergence / (e * count);
        if (r < risk) {
            risk = r;
            best = c;
        }
    }
    *chosenMu = candidates[best];
    std::copy(solves.get() + 2 * best * n, solves.get() + (2 * best + 1) * n, u);
    logWeight(log, sigma, *chosenMu);
    return true;
}

} // namespace imrestore
