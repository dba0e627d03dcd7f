// imrestore_denoise: the recipes of the one-call denoisers, channel by channel.
//
// Interface (the denoisers' .m files check the options and call it):
//   [U, SIGMA] = imrestore_denoise('tvdenoise', X, SIGMA, [mu tolerance verbose])
//   [U, SIGMA] = imrestore_denoise('wavedenoise', X, SIGMA, [levels scale shifts verbose], FILTER)
//   [U, SIGMA] = imrestore_denoise('nltvdenoise', X, SIGMA,
//                                  [patchSize windowSize neighbours h lambda mu iterations verbose])
//   [U, SIGMA] = imrestore_denoise('nlh1denoise', X, SIGMA, [the same; lambda not read])
//   SIGMA = imrestore_denoise('noiselevel', X)
//     X       real full double M×N×C, finite, on the scale of im2double
//     SIGMA   [] (estimated per channel), one value, or one per channel; the
//             result is the row of values used
//     mu, h   0 for the recipe's choice, else the value to use
//   U       double M×N×C
// Errors are those of the denoiser named first: imrestore:<denoiser>:<what>.
#include "host/gateway.h"
#include "host/interrupt.h"
#include "host/results.h"
#include "host/threads.h"
#include "recipes/noise_level.h"
#include "recipes/nonlocal_recipe.h"
#include "recipes/tv_recipe.h"
#include "recipes/wavelet_recipe.h"
#include "tv/rof_denoise.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using namespace imrestore;

namespace {

enum class Method { tv, wavelet, nltv, nlh1, noise };

// Each cycle shift is a transform and its inverse of twice the image; past
// 64 a side (4096 transforms) a mistyped count would run for hours.
const int kMostShifts = 64;

struct Image {
    const double* data;
    std::ptrdiff_t M, N, C;
    const double* channel(std::ptrdiff_t c) const { return data + c * M * N; }
};

Method readMethod(const mxArray* argument, const char** function)
{
    // A char row of one of the names, and nothing after it.
    char name[32] = "";
    const std::size_t length = mxGetNumberOfElements(argument);
    if (!mxIsChar(argument) || mxGetM(argument) != 1 || length >= sizeof name ||
        mxGetString(argument, name, sizeof name) != 0 || std::strlen(name) != length)
        name[0] = 0;
    static const struct {
        const char* name;
        Method method;
    } methods[] = {{"tvdenoise", Method::tv},     {"wavedenoise", Method::wavelet}, {"nltvdenoise", Method::nltv},
                   {"nlh1denoise", Method::nlh1}, {"noiselevel", Method::noise}};
    for (const auto& m : methods)
        if (std::strcmp(name, m.name) == 0) {
            *function = m.name;
            return m.method;
        }
    raiseError("imrestore_denoise", Reason::invalidArgument,
               "METHOD (argument 1) must be 'tvdenoise', 'wavedenoise', 'nltvdenoise', 'nlh1denoise' or "
               "'noiselevel'.");
}

Image readImage(const char* function, const mxArray* x)
{
    const mwSize dimensions = mxGetNumberOfDimensions(x);
    if (!isRealFullDouble(x) || mxIsEmpty(x) || dimensions > 3)
        raiseError(function, Reason::invalidImage,
                   "%s: F must be a real, full, non-empty grey-level (M-by-N) or colour (M-by-N-by-C) image of "
                   "doubles.",
                   function);
    const mwSize* dims = mxGetDimensions(x);
    const Image image{mxGetPr(x), static_cast<std::ptrdiff_t>(dims[0]), static_cast<std::ptrdiff_t>(dims[1]),
                      dimensions == 3 ? static_cast<std::ptrdiff_t>(dims[2]) : 1};
    const std::size_t count = mxGetNumberOfElements(x);
    for (std::size_t e = 0; e < count; ++e)
        if (!std::isfinite(image.data[e]))
            raiseError(function, Reason::invalidImage, "%s: F must be finite (it holds NaN or Inf values).", function);
    return image;
}

// The noise level of each channel, from SIGMA or estimated.
std::vector<double> readSigma(const char* function, const mxArray* argument, const Image& image)
{
    if (!isRealFullDouble(argument))
        raiseError(function, Reason::invalidOption, "%s: 'Sigma' must be a real double value or vector.", function);
    const std::size_t given = mxGetNumberOfElements(argument);
    const double* values = mxGetPr(argument);
    for (std::size_t e = 0; e < given; ++e)
        if (!(std::isfinite(values[e]) && values[e] >= 0))
            raiseError(function, Reason::invalidOption,
                       "%s: 'Sigma' must be a positive noise level (finite, at least 0) or one per channel.",
                       function);
    if (given != 0 && given != 1 && given != static_cast<std::size_t>(image.C))
        raiseError(function, Reason::invalidOption, "%s: 'Sigma' has %zu values but the image has %td channels.",
                   function, given, image.C);
    std::vector<double> sigma(static_cast<std::size_t>(image.C), 0.0);
    for (std::ptrdiff_t c = 0; c < image.C; ++c)
        if (given != 0)
            sigma[c] = values[given == 1 ? 0 : c];
    return sigma;
}

// The estimate for every channel; 0 for an image too small to have details.
void estimateSigma(const char* function, const Image& image, std::vector<double>& sigma)
{
    if (image.M < 2 || image.N < 2)
        return;
    const int threads = workerThreadCountFor(static_cast<double>(image.M) * image.N, kPixelsPerThread);
    HostStopCheck stop;
    for (std::ptrdiff_t c = 0; c < image.C; ++c) {
        if (stop.poll())
            endInterruptedCall(function);
        sigma[c] = estimateNoiseLevel(image.channel(c), image.M, image.N, threads);
        if (sigma[c] < 0)
            raiseError(function, Reason::outOfMemory, "%s could not allocate its work memory.", function);
    }
}

// The settings vector: `count` finite doubles.
const double* readSettings(const char* function, const mxArray* argument, std::size_t count, const char* layout)
{
    if (!isRealFullDouble(argument) || mxGetNumberOfElements(argument) != count)
        raiseError(function, Reason::invalidOption, "%s: the settings must be %zu real doubles: %s.", function, count,
                   layout);
    const double* values = mxGetPr(argument);
    for (std::size_t e = 0; e < count; ++e)
        if (!std::isfinite(values[e]))
            raiseError(function, Reason::invalidOption, "%s: the settings must be finite: %s.", function, layout);
    return values;
}

// A positive integer setting.
int readCount(const char* function, double value, const char* name, int largest)
{
    if (!(value >= 1 && value <= largest && value == std::floor(value)))
        raiseError(function, Reason::invalidOption, "%s: '%s' must be a positive integer of at most %d.", function,
                   name, largest);
    return static_cast<int>(value);
}

// What a method reads from its settings vector (and filter).
struct Settings {
    bool verbose = false;
    double tvMu = 0, tolerance = 0;
    WaveletRecipe wavelet{};
    NonlocalRecipe nonlocal{};
};

Settings readTvSettings(const char* function, const mxArray* argument)
{
    const double* v = readSettings(function, argument, 3, "[mu tolerance verbose]");
    Settings r;
    r.tvMu = v[0];
    r.tolerance = v[1];
    r.verbose = v[2] != 0;
    if (!(r.tvMu == 0 || (r.tvMu >= kSmallestRofMu && r.tvMu <= kLargestRofMu)))
        raiseError(function, Reason::invalidOption,
                   "%s: 'Mu' must lie between %g and %g (it is %g): outside, the iteration leaves the range of "
                   "normal doubles.",
                   function, kSmallestRofMu, kLargestRofMu, r.tvMu);
    if (!(r.tolerance >= kSmallestRofTolerance))
        raiseError(function, Reason::invalidOption, "%s: 'Tolerance' must be a finite scalar of at least %g.",
                   function, kSmallestRofTolerance);
    return r;
}

Settings readWaveletSettings(const char* function, const mxArray* argument, const mxArray* filter)
{
    const double* v = readSettings(function, argument, 4, "[levels scale shifts verbose]");
    Settings r;
    r.wavelet.levels = readCount(function, v[0], "Levels", INT32_MAX);
    r.wavelet.scale = v[1];
    r.wavelet.shifts = readCount(function, v[2], "Shifts", kMostShifts);
    r.verbose = v[3] != 0;
    if (!(r.wavelet.scale > 0))
        raiseError(function, Reason::invalidOption, "%s: 'Scale' must be a positive finite scalar.", function);
    const std::ptrdiff_t taps = static_cast<std::ptrdiff_t>(mxGetNumberOfElements(filter));
    bool valid = isRealFullDouble(filter) && taps >= 2 && taps % 2 == 0 && taps <= INT32_MAX / 4;
    for (std::ptrdiff_t t = 0; valid && t < taps; ++t)
        valid = std::isfinite(mxGetPr(filter)[t]);
    if (!valid)
        raiseError(function, Reason::invalidOption, "%s: 'Filter' must be a real vector of even length.", function);
    r.wavelet.filter = mxGetPr(filter);
    r.wavelet.taps = taps;
    return r;
}

Settings readNonlocalSettings(const char* function, Method method, const mxArray* argument, const Image& image)
{
    const double* v =
        readSettings(function, argument, 8, "[patchSize windowSize neighbours h lambda mu iterations verbose]");
    Settings r;
    NonlocalRecipe& n = r.nonlocal;
    n.model = method == Method::nltv ? NonlocalModel::tv : NonlocalModel::h1;
    n.patchSide = readCount(function, v[0], "PatchSize", 46340);
    n.windowSide = readCount(function, v[1], "WindowSize", 46340);
    n.neighbours = readCount(function, v[2], "Neighbours", INT32_MAX - 4);
    n.h = v[3];
    n.lambda = v[4];
    n.mu = v[5];
    n.iterations = readCount(function, v[6], "Iterations", INT32_MAX);
    r.verbose = v[7] != 0;
    if (n.patchSide % 2 == 0 || n.windowSide % 2 == 0)
        raiseError(function, Reason::invalidOption, "%s: 'PatchSize' and 'WindowSize' must be odd.", function);
    // h, lambda and mu reach the solvers in single precision.
    const double largest = std::numeric_limits<float>::max();
    if (!(n.h >= 0 && n.h <= largest) || !(n.mu >= 0 && n.mu <= largest) ||
        !(n.lambda > 0 && n.lambda <= largest))
        raiseError(function, Reason::invalidOption,
                   "%s: 'H', 'Lambda' and 'Mu' must be positive and finite in single precision.", function);
    NonlocalGraphPlan plan;
    switch (planNonlocalGraph(image.M, image.N, n, &plan)) {
    case NonlocalPlanProblem::imageTooSmall:
        raiseError(function, Reason::imageTooSmall,
                   "%s: the image (%td-by-%td) must be larger than half the patch side (%d) in both directions.",
                   function, image.M, image.N, (n.patchSide - 1) / 2);
    case NonlocalPlanProblem::windowTooSmall:
        raiseError(function, Reason::invalidOption,
                   "%s: the search window must be at least 3 pixels a side ('WindowSize' is %d).", function,
                   n.windowSide);
    case NonlocalPlanProblem::tooManyNeighbours:
        raiseError(function, Reason::invalidOption,
                   "%s: 'Neighbours' (%d) exceeds the other pixels of the %d-pixel search window.", function,
                   n.neighbours, plan.settings.windowSide);
    case NonlocalPlanProblem::none:
        break;
    }
    const double pixels = static_cast<double>(image.M) * image.N;
    if (pixels > 2147483647.0)
        raiseError(function, Reason::tooLarge, "%s: the image has %.0f pixels; at most 2^31-1 are supported.", function,
                   pixels);
    requireMemoryFor(function, nonlocalRecipeBytes(image.M, image.N, n), "The graph and its solves",
                     "fewer 'Neighbours' need less");
    return r;
}

[[noreturn]] void endFailedCall(const char* function, const HostStopCheck& stop, mxArray* result)
{
    mxDestroyArray(result);
    if (stop.stopped())
        endInterruptedCall(function);
    raiseError(function, Reason::outOfMemory, "%s could not allocate its work memory.", function);
}

mxArray* sigmaRow(const std::vector<double>& sigma)
{
    mxArray* row = mxCreateDoubleMatrix(1, sigma.size(), mxREAL);
    std::copy(sigma.begin(), sigma.end(), mxGetPr(row));
    return row;
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    releaseKeptWhenCleared();
    requireArgumentCounts("imrestore_denoise", nrhs, 2, 5, "imrestore_denoise needs a METHOD and an image.",
                          "imrestore_denoise takes at most five arguments.", nlhs, 2,
                          "imrestore_denoise returns at most two results.");
    const char* function = "imrestore_denoise";
    const Method method = readMethod(prhs[0], &function);
    const Image image = readImage(function, prhs[1]);

    if (method == Method::noise) {
        if (nrhs != 2)
            raiseError(function, Reason::tooManyInputs, "%s takes one image.", function);
        if (image.M < 2 || image.N < 2)
            raiseError(function, Reason::invalidImage,
                       "%s: F must be at least 2-by-2 to have diagonal details; it is %td-by-%td.", function, image.M,
                       image.N);
        std::vector<double> sigma(static_cast<std::size_t>(image.C), 0.0);
        estimateSigma(function, image, sigma);
        plhs[0] = sigmaRow(sigma);
        return;
    }

    const int argumentCount = method == Method::wavelet ? 5 : 4;
    if (nrhs != argumentCount)
        raiseError(function, nrhs < argumentCount ? Reason::notEnoughInputs : Reason::tooManyInputs,
                   "%s needs METHOD, X, SIGMA and the settings%s.", function,
                   method == Method::wavelet ? " and the filter" : "");
    std::vector<double> sigma = readSigma(function, prhs[2], image);
    const Settings settings = method == Method::tv        ? readTvSettings(function, prhs[3])
                              : method == Method::wavelet ? readWaveletSettings(function, prhs[3], prhs[4])
                                                          : readNonlocalSettings(function, method, prhs[3], image);
    if (mxGetNumberOfElements(prhs[2]) == 0)
        estimateSigma(function, image, sigma);
    // The risk estimate's weights, factor/sigma, must suit the iteration too.
    if (method == Method::tv && settings.tvMu == 0)
        for (const double s : sigma)
            if (s != 0 && (kTvWeightFactors[kTvWeightCandidates - 1] / s > kLargestRofMu ||
                           kTvWeightFactors[0] / s < kSmallestRofMu))
                raiseError(function, Reason::invalidOption,
                           "%s: a noise level of %g gives weights outside %g to %g; give 'Mu' instead.", function, s,
                           kSmallestRofMu, kLargestRofMu);

    const mwSize dims[3] = {static_cast<mwSize>(image.M), static_cast<mwSize>(image.N),
                            static_cast<mwSize>(image.C)};
    mxArray* result = createFilledResult(3, dims, mxDOUBLE_CLASS);
    double* u = mxGetPr(result);
    const std::ptrdiff_t pixels = image.M * image.N;
    HostStopCheck stop;
    const RecipeLog log{[](const char* line, void*) { mexPrintf("%s", line); }, nullptr};
    const RecipeLog* lines = settings.verbose ? &log : nullptr;
    const int cores = workerThreadCount();
    if (method == Method::nltv || method == Method::nlh1) {
        // One graph serves every channel.
        if (!denoiseNonlocal(function, image.data, image.M, image.N, image.C, sigma.data(), settings.nonlocal, u,
                             &stop, cores, lines))
            endFailedCall(function, stop, result);
    }
    for (std::ptrdiff_t c = 0; c < image.C && (method == Method::tv || method == Method::wavelet); ++c) {
        const double s = sigma[c];
        const double* f = image.channel(c);
        double* channel = u + c * pixels;
        bool done = true;
        if (method == Method::tv) {
            double mu = 0;
            // One solve shares its passes; the risk estimate runs its solves side by side.
            const int threads =
                settings.tvMu > 0 ? workerThreadCountFor(static_cast<double>(pixels), kPixelsPerThread) : cores;
            done = denoiseTvChannel(f, image.M, image.N, s, settings.tvMu, settings.tolerance, channel, &mu, &stop,
                                    threads, lines);
        } else {
            done = denoiseWaveletChannel(f, image.M, image.N, s, settings.wavelet, channel, &stop, cores, lines);
        }
        if (!done)
            endFailedCall(function, stop, result);
    }
    mxArray* results[2] = {result, sigmaRow(sigma)};
    storeResults(nlhs, plhs, results, 2);
}
