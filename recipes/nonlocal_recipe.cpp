#include "recipes/nonlocal_recipe.h"

#include "common/task_queue.h"
#include "common/work_memory.h"
#include "nonlocal/console_lines.h"
#include "nonlocal/graph_solvers.h"
#include "nonlocal/reused_schedule.h"
#include "recipes/sure_probe.h"
#include "recipes/wavelet_recipe.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <limits>

namespace imrestore {

const double kH1WeightFactors[kH1WeightCandidates] = {0.25, 0.5, 1, 2};

namespace {

double secondsSince(std::clock_t start) { return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

struct ProgressLog {
    const RecipeLog* log;
};

void logProgress(float change, void* context)
{
    logLine(static_cast<ProgressLog*>(context)->log, kTvProgressLine, static_cast<double>(change));
}

// The risk estimate's choice among the H1 factors over the laid-out graph:
// its index, and the chosen v in `chosen`. The solves run side by side.
bool chooseH1Factor(const double* f, const float* fs, std::ptrdiff_t n, double sigma, const SweepSchedule& schedule,
                    int iterations, int threads, StopCheck* stop, const RecipeLog* log, int* best, float* chosen)
{
    const std::size_t pixels = static_cast<std::size_t>(n);
    const WorkArray<double> probe(pixels);
    const WorkArray<float> probeSingle(pixels), solves(2 * kH1WeightCandidates * pixels);
    if (!probe || !probeSingle || !solves)
        return false;
    fillSureProbe(probe.get(), pixels);
    for (std::size_t k = 0; k < pixels; ++k)
        probeSingle[k] = static_cast<float>(probe[k]);
    if (pollStop(stop))   // the probe of a large image takes a while
        return false;
    double seconds[2 * kH1WeightCandidates] = {};
    std::atomic<bool> failed{false};
    // Solve 2c is H1(f) with factor c, solve 2c + 1 H1(b).
    runTasks(2 * kH1WeightCandidates, threads, stop, [&](std::ptrdiff_t task, StopCheck* taskStop) {
        if (failed.load() || pollStop(taskStop))
            return;
        const std::clock_t start = std::clock();
        const float* data = task % 2 == 0 ? fs : probeSingle.get();
        float* u = solves.get() + task * n;
        std::copy(data, data + n, u);
        const float mu = static_cast<float>(kH1WeightFactors[task / 2] * 0.01 / sigma);
        if (!solveNonlocalH1On(schedule, u, data, mu, iterations, 1, taskStop))
            failed.store(true);
        seconds[task] = secondsSince(start);
    });
    if (failed.load() || isStopped(stop))
        return false;
    for (double s : seconds)
        logLine(log, kH1TimingLine, s);
    const double sigma2 = std::pow(sigma, 2.0), count = static_cast<double>(n);
    double risk = std::numeric_limits<double>::infinity();
    *best = 0;
    for (int c = 0; c < kH1WeightCandidates; ++c) {
        const float* v = solves.get() + 2 * c * n;
        const float* Ab = v + n;
        double squares = 0, divergence = 0;
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            const double r = static_cast<double>(v[k]) - f[k];
            squares += r * r;
        }
        for (std::ptrdiff_t k = 0; k < n; ++k)
            divergence += probe[k] * static_cast<double>(Ab[k]);
        const double r = squares / count - sigma2 + 2 * sigma2 * divergence / count;
        if (r < risk) {
            risk = r;
            *best = c;
        }
    }
    std::copy(solves.get() + 2 * *best * n, solves.get() + (2 * *best + 1) * n, chosen);
    return true;
}

} // namespace

NonlocalPlanProblem planNonlocalGraph(std::ptrdiff_t M, std::ptrdiff_t N, const NonlocalRecipe& recipe,
                                      NonlocalGraphPlan* plan)
{
    const int half = (recipe.patchSide - 1) / 2;
    const std::ptrdiff_t room = std::min(M, N) - half;   // the border width half + (windowSide − 1)/2 must fit
    if (room < 1)
        return NonlocalPlanProblem::imageTooSmall;
    const int windowSide = static_cast<int>(std::min<std::ptrdiff_t>(recipe.windowSide, 2 * room + 1));
    if (windowSide < 3)
        return NonlocalPlanProblem::windowTooSmall;
    plan->settings = {recipe.patchSide, windowSide, 4, recipe.neighbours, static_cast<float>(recipe.h)};
    const std::int64_t side = 2 * static_cast<std::int64_t>((windowSide - 1) / 2) + 1;
    if (recipe.neighbours > side * side - 1)
        return NonlocalPlanProblem::tooManyNeighbours;
    plan->kernel.resize(static_cast<std::size_t>(recipe.patchSide) * recipe.patchSide);
    for (int j = 0; j < recipe.patchSide; ++j)
        for (int i = 0; i < recipe.patchSide; ++i) {
            const double a = j - half, b = i - half;
            plan->kernel[i + recipe.patchSide * j] = static_cast<float>(std::exp(-(a * a + b * b) / 2));
        }
    return NonlocalPlanProblem::none;
}

double nonlocalRecipeBytes(std::ptrdiff_t M, std::ptrdiff_t N, const NonlocalRecipe& recipe)
{
    const double pixels = static_cast<double>(M) * N, K = 4.0 + recipe.neighbours;
    // The graph (and the builder's copy), its sweep layout, d and b, the solves.
    return pixels * ((4.0 * K + 1) * sizeof(float) + 13.0 * K + 20.0 * K + 2 * K * sizeof(float) +
                     (2 * kH1WeightCandidates + 8) * sizeof(double));
}

namespace {

// Whether single precision resolves a noise level: its weights stay finite.
bool weightsResolved(double sigma)
{
    bool resolved = true;
    for (double factor : kH1WeightFactors)
        resolved = resolved && std::isfinite(static_cast<float>(1.4 * factor * 0.4 / sigma)) &&
                   std::isfinite(static_cast<float>(factor * 0.01 / sigma));
    return resolved;
}

// Steps 2 and 3 for one channel f over the graph.
bool restoreChannel(const char* name, const double* f, std::ptrdiff_t n, double sigma, const NonlocalRecipe& recipe,
                    const GraphInput& graph, float* fs, float* result, float* field, double* u, StopCheck* stop,
                    int threads, const RecipeLog* log)
{
    const std::size_t pixels = static_cast<std::size_t>(n);
    const std::ptrdiff_t K = graph.slots;
    for (std::size_t k = 0; k < pixels; ++k)
        fs[k] = static_cast<float>(f[k]);
    const bool h1 = recipe.model == NonlocalModel::h1;
    double mu = recipe.mu;
    bool haveResult = false;
    if (!(mu > 0)) {
        int best = 0;
        {
            ReusedSweepSchedule layout;
            if (!layout.obtain(graph, threads))
                return false;
            if (!chooseH1Factor(f, fs, n, sigma, layout.get(), h1 ? recipe.iterations : kTvRiskIterations, threads,
                                stop, log, &best, result))
                return false;
        }
        const double factor = kH1WeightFactors[best];
        mu = h1 ? factor * 0.01 / sigma : 1.4 * factor * 0.4 / sigma;
        haveResult = h1;
    }
    if (h1) {
        if (!haveResult) {
            const std::clock_t start = std::clock();
            std::copy(fs, fs + n, result);
            if (!solveNonlocalH1(result, fs, graph, KeptLayout::unchecked, static_cast<float>(mu), recipe.iterations,
                                 threads, stop))
                return false;
            logLine(log, kH1TimingLine, secondsSince(start));
        }
        logLine(log, "%s: %d iterations, mu %.4g (%.3g * 0.01 / sigma)\n", name, recipe.iterations, mu,
                mu * sigma / 0.01);
    } else {
        logLine(log, "%s: %d iterations, lambda %.4g, mu %.4g (%.3g * 0.4 / sigma)\n", name, recipe.iterations,
                recipe.lambda, mu, mu * sigma / 0.4);
        const std::clock_t start = std::clock();
        // d and b start at 0 and end in the two halves of `field`.
        float* d = field;
        float* b = field + pixels * K;
        std::fill(d, d + 2 * pixels * K, 0.0f);
        const NonlocalTvFields fields{fs, d, b, result, d, b};
        const NonlocalTvSettings tv{static_cast<float>(recipe.lambda), static_cast<float>(mu), recipe.iterations};
        ProgressLog progress{log};
        if (!solveNonlocalTv(fields, fs, graph, KeptLayout::unchecked, tv, threads, log ? logProgress : nullptr,
                             &progress, stop))
            return false;
        logLine(log, kTvTimingLine, secondsSince(start));
    }
    for (std::size_t k = 0; k < pixels; ++k)
        u[k] = static_cast<double>(result[k]);
    return true;
}

} // namespace

bool denoiseNonlocal(const char* name, const double* x, std::ptrdiff_t M, std::ptrdiff_t N, std::ptrdiff_t C,
                     const double* sigma, const NonlocalRecipe& recipe, double* u, StopCheck* stop, int threads,
                     const RecipeLog* log)
{
    const std::ptrdiff_t n = M * N;
    const std::size_t pixels = static_cast<std::size_t>(n);
    bool noisy = false;
    for (std::ptrdiff_t c = 0; c < C; ++c)
        noisy = noisy || sigma[c] > 0;
    if (!noisy) {
        std::copy(x, x + n * C, u);
        return true;
    }
    NonlocalGraphPlan plan;
    if (planNonlocalGraph(M, N, recipe, &plan) != NonlocalPlanProblem::none)
        return false;
    PatchGraphSettings& settings = plan.settings;
    if (recipe.h <= 0) {
        double sigma2 = std::pow(sigma[0], 2.0);
        if (C > 1) {
            sigma2 = 0;
            for (std::ptrdiff_t c = 0; c < C; ++c)
                sigma2 += std::pow(sigma[c], 2.0);
            sigma2 /= static_cast<double>(C);
        }
        float kernelSum = 0;
        for (float k : plan.kernel)
            kernelSum += k;
        settings.h = static_cast<float>(0.1 * sigma2) * kernelSum;
    }
    // A noise level that single precision cannot resolve: nothing to remove.
    if (!(settings.h > 0)) {
        std::copy(x, x + n * C, u);
        return true;
    }
    const std::ptrdiff_t K = settings.nearest + settings.best;
    const WorkArray<double> guide(pixels, 0.0), channelGuide(C > 1 ? pixels : 1);
    const WorkArray<float> fs(pixels), guideSingle(pixels), weights(pixels * 2 * K), field(pixels * 2 * K),
        result(pixels);
    const WorkArray<std::int32_t> neighbours(pixels * (2 * K + 1));
    if (!guide || !channelGuide || !fs || !guideSingle || !weights || !field || !result || !neighbours)
        return false;

    // 1. The graph of the pre-denoised image (for colour, of its mean).
    if (C == 1)
        logLine(log, "%s: weights of a %td-by-%td image (patches compared after wavedenoise), patches %d, window %d, "
                     "h %.4g\n",
                name, M, N, settings.patchSide, settings.windowSide, static_cast<double>(settings.h));
    else
        logLine(log, "%s: weights of a %td-by-%td-by-%td image (patches compared on the mean of its channels after "
                     "wavedenoise), patches %d, window %d, h %.4g\n",
                name, M, N, C, settings.patchSide, settings.windowSide, static_cast<double>(settings.h));
    for (std::ptrdiff_t c = 0; c < C; ++c) {
        double* target = C == 1 ? guide.get() : channelGuide.get();
        if (!denoiseWaveletChannel(x + c * n, M, N, sigma[c], kDefaultWaveletRecipe, target, stop, threads))
            return false;
        if (C > 1)
            for (std::size_t k = 0; k < pixels; ++k)
                guide[k] += channelGuide[k];
    }
    for (std::size_t k = 0; k < pixels; ++k)
        guideSingle[k] = static_cast<float>(C == 1 ? guide[k] : guide[k] / static_cast<double>(C));
    logLine(log, kGraphSizesLine, static_cast<int>(K), patchHalf(settings), windowHalf(settings), borderWidth(settings));
    const std::clock_t start = std::clock();
    GraphArrays arrays{M, N, K, weights.get(), neighbours.get()};
    if (!buildPatchGraph(guideSingle.get(), plan.kernel.data(), settings, threads, arrays, stop))
        return false;
    logLine(log, kGraphTimingLine, secondsSince(start));
    const GraphInput graph{M, N, K, weights.get(), neighbours.get()};

    // 2 and 3, channel by channel over the one graph.
    for (std::ptrdiff_t c = 0; c < C; ++c) {
        const double* f = x + c * n;
        if (!(sigma[c] > 0) || !weightsResolved(sigma[c]))
            std::copy(f, f + n, u + c * n);
        else if (!restoreChannel(name, f, n, sigma[c], recipe, graph, fs.get(), result.get(), field.get(), u + c * n,
                                 stop, threads, log))
            return false;
    }
    return true;
}

} // namespace imrestore
