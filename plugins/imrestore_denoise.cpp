// imrestore_denoise: the recipes of the one-call denoisers, channel by channel.
//
// Interface (the denoisers' .m files check the options and call it):
//   [U, SIGMA] = imrestore_denoise('tvdenoise', X, SIGMA, [mu tolerance verbose])
//   [U, SIGMA] = imrestore_denoise('wavedenoise', X, SIGMA, [levels scale shifts verbose], FILTER)
//   SIGMA = imrestore_denoise('noiselevel', X)
//     X       real full double M×N×C, finite, on the scale of im2double
//     SIGMA   [] (estimated per channel), one value, or one per channel; the
//             result is the row of values used
//     mu      0 to choose by the risk estimate, else the fidelity weight
//   U       double M×N×C
// Errors are those of the denoiser named first: imrestore:<denoiser>:<what>.
#include "host/gateway.h"
#include "host/interrupt.h"
#include "host/results.h"
#include "host/threads.h"
#include "recipes/noise_level.h"
#include "recipes/tv_recipe.h"
#include "recipes/wavelet_recipe.h"
#include "tv/rof_denoise.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace imrestore;

namespace {

enum class Method { tv, wavelet, noise };

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
    } methods[] = {{"tvdenoise", Method::tv}, {"wavedenoise", Method::wavelet}, {"noiselevel", Method::noise}};
    for (const auto& m : methods)
        if (std::strcmp(name, m.name) == 0) {
            *function = m.name;
            return m.method;
        }
    raiseError("imrestore_denoise", Reason::invalidArgument,
               "METHOD (argument 1) must be 'tvdenoise', 'wavedenoise' or 'noiselevel'.");
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
    for (std::ptrdiff_t c = 0; c < image.C; ++c) {
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

    const bool tv = method == Method::tv;
    if (nrhs != (tv ? 4 : 5))
        raiseError(function, nrhs < (tv ? 4 : 5) ? Reason::notEnoughInputs : Reason::tooManyInputs,
                   "%s needs METHOD, X, SIGMA and the settings%s.", function, tv ? "" : " and the filter");
    std::vector<double> sigma = readSigma(function, prhs[2], image);
    const double* settings = tv ? readSettings(function, prhs[3], 3, "[mu tolerance verbose]")
                                : readSettings(function, prhs[3], 4, "[levels scale shifts verbose]");
    double tvMu = 0, tolerance = 0, scale = 0;
    int levels = 0, shifts = 0;
    bool verbose = false;
    const double* filter = nullptr;
    std::ptrdiff_t taps = 0;
    if (tv) {
        tvMu = settings[0];
        tolerance = settings[1];
        verbose = settings[2] != 0;
        if (!(tvMu == 0 || (tvMu >= kSmallestRofMu && tvMu <= kLargestRofMu)))
            raiseError(function, Reason::invalidOption,
                       "%s: 'Mu' must lie between %g and %g (it is %g): outside, the iteration leaves the range of "
                       "normal doubles.",
                       function, kSmallestRofMu, kLargestRofMu, tvMu);
        if (!(tolerance >= kSmallestRofTolerance))
            raiseError(function, Reason::invalidOption, "%s: 'Tolerance' must be a finite scalar of at least %g.",
                       function, kSmallestRofTolerance);
    } else {
        levels = readCount(function, settings[0], "Levels", 2147483647);
        scale = settings[1];
        shifts = readCount(function, settings[2], "Shifts", kMostShifts);
        verbose = settings[3] != 0;
        if (!(scale > 0))
            raiseError(function, Reason::invalidOption, "%s: 'Scale' must be a positive finite scalar.", function);
        const mxArray* h = prhs[4];
        taps = static_cast<std::ptrdiff_t>(mxGetNumberOfElements(h));
        if (!isRealFullDouble(h) || taps < 2 || taps % 2 != 0 || taps > INT32_MAX / 4)
            raiseError(function, Reason::invalidOption, "%s: 'Filter' must be a real vector of even length.",
                       function);
        filter = mxGetPr(h);
        for (std::ptrdiff_t t = 0; t < taps; ++t)
            if (!std::isfinite(filter[t]))
                raiseError(function, Reason::invalidOption, "%s: 'Filter' must be a real vector of even length.",
                           function);
    }
    if (mxGetNumberOfElements(prhs[2]) == 0)
        estimateSigma(function, image, sigma);
    // The risk estimate's weights, factor/sigma, must suit the iteration too.
    if (tv && tvMu == 0)
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
    const int cores = workerThreadCount();
    for (std::ptrdiff_t c = 0; c < image.C; ++c) {
        const double s = sigma[c];
        if (tv) {
            double mu = 0;
            // One solve shares its passes; the risk estimate runs its solves side by side.
            const int threads = tvMu > 0 ? workerThreadCountFor(static_cast<double>(pixels), kPixelsPerThread) : cores;
            if (!denoiseTvChannel(image.channel(c), image.M, image.N, s, tvMu, tolerance, u + c * pixels, &mu, &stop,
                                  threads))
                endFailedCall(function, stop, result);
            if (verbose && mu > 0)
                mexPrintf("tvdenoise: sigma %.4g, mu %.4g (%.3g / sigma)\n", s, mu, mu * s);
        } else {
            const WaveletRecipe recipe{filter, taps, levels, scale, shifts};
            double thresholds[2];
            if (!denoiseWaveletChannel(image.channel(c), image.M, image.N, s, recipe, u + c * pixels, thresholds,
                                       &stop, cores))
                endFailedCall(function, stop, result);
            const int L = waveletRecipeLevels(image.M, image.N, levels);
            if (verbose && L >= 1 && s != 0)
                mexPrintf("wavedenoise: sigma %.4g, %d levels, %d shifts, thresholds from %.4g to %.4g\n", s, L,
                          shifts * shifts, thresholds[0], thresholds[1]);
        }
    }
    mxArray* results[2] = {result, sigmaRow(sigma)};
    storeResults(nlhs, plhs, results, 2);
}
