// The gateway both wavelet plug-ins share: the same arguments, tests and
// messages, then the forward or the inverse transform.
//
//   [result, L] = waveanalyze(x, h [, L])   /   [result, L] = wavesynth(y, h [, L])
#pragma once

#include "host/gateway.h"
#include "host/results.h"
#include "host/threads.h"
#include "wavelet/wavelet_transform.h"

#include <cmath>
#include <cstdint>

enum class WaveletDirection { forward, inverse };

// Raises the row or column message when a dimension above 1 is not a
// multiple of 2^L (tested exactly, also for L far beyond any dimension).
inline void requireMultipleOfLevels(const char* function, std::ptrdiff_t size, std::int32_t L, const char* message)
{
    if (size <= 1)
        return;
    if (L >= 62 || size % (std::ptrdiff_t{1} << L) != 0)
        raiseError(function, Reason::invalidSize, "%s", message);
}

inline void runWaveletGateway(const char* function, WaveletDirection direction, int nlhs, mxArray* plhs[], int nrhs,
                              const mxArray* prhs[])
{
    releaseKeptWhenCleared();
    char tooManyResults[64];
    std::snprintf(tooManyResults, sizeof tooManyResults, "%s returns at most two results.", function);
    requireArgumentCounts(function, nrhs, 2, 3, "There are at least 2 input parameters required!",
                          "There are at most 3 input parameters allowed!", nlhs, 2, tooManyResults);
    const mxArray* data = prhs[0];
    const mxArray* filter = prhs[1];
    if (!isRealFullDouble(data) || mxGetNumberOfDimensions(data) > 2)
        raiseError(function, Reason::invalidArgument, "The first argument must be a real, full double matrix.");
    if (!isRealFullDouble(filter) || mxIsEmpty(filter))
        raiseError(function, Reason::invalidArgument, "The filter (argument 2) must be a non-empty real, full double vector.");
    const std::ptrdiff_t m = static_cast<std::ptrdiff_t>(mxGetM(data)), n = static_cast<std::ptrdiff_t>(mxGetN(data));
    const std::ptrdiff_t nh = static_cast<std::ptrdiff_t>(std::max(mxGetM(filter), mxGetN(filter)));
    if (m > INT32_MAX || n > INT32_MAX || nh > INT32_MAX / 4)
        raiseError(function, Reason::invalidArgument, "The arrays are too large.");
    if (direction == WaveletDirection::inverse && (nh < 2 || nh % 2 != 0))
        raiseError(function, Reason::invalidArgument,
                   "The filter must have an even length of at least 2 to be inverted (it has %td taps).", nh);

    std::int32_t L = 0;
    if (nrhs == 3) {
        const mxArray* levels = prhs[2];
        if (!mxIsNumeric(levels) || mxIsEmpty(levels))
            raiseError(function, Reason::invalidArgument, "The number of levels, L, must be a numeric scalar.");
        if (!truncateToInt32(mxGetScalar(levels), &L))
            raiseError(function, Reason::invalidArgument,
                       "The number of levels, L, must be finite and fit a 32-bit integer (it is %g).",
                       mxGetScalar(levels));
        if (L < 0)
            raiseError(function, Reason::invalidArgument, "The number of levels, L, must be a non-negative integer");
    } else {
        L = m == 0 || n == 0 ? 0 : imrestore::defaultLevels(m, n);
        if (L == 0)
            raiseError(function, Reason::noLevels, "Maximum number of levels is zero; no decomposition can be performed!");
    }
    requireMultipleOfLevels(function, m, L, "The matrix row dimension must be of size m*2^(L)");
    requireMultipleOfLevels(function, n, L, "The matrix column dimension must be of size n*2^(L)");

    const int threads = workerThreadCountFor(static_cast<double>(m) * static_cast<double>(n), kPixelsPerThread);
    const std::size_t workDoubles = direction == WaveletDirection::forward
                                        ? imrestore::forwardWorkSize(m, n, nh, threads)
                                        : imrestore::inverseWorkSize(m, n, nh, threads);
    double* work = static_cast<double*>(mxCalloc(workDoubles, sizeof(double)));
    if (!work)   // a host may return null where it cannot find the memory
        raiseError(function, Reason::outOfMemory, "%s could not allocate its work memory (%.0f bytes).", function,
                   static_cast<double>(workDoubles) * sizeof(double));
    // Both transforms write every element of their result, so the host need
    // not zero it first.
    const mwSize dims[2] = {static_cast<mwSize>(m), static_cast<mwSize>(n)};
    mxArray* results[2] = {createFilledResult(2, dims, mxDOUBLE_CLASS),
                           mxCreateDoubleMatrix(1, 1, mxREAL)};
    *mxGetPr(results[1]) = L;
    if (direction == WaveletDirection::forward)
        imrestore::forwardWavelet(mxGetPr(data), m, n, mxGetPr(filter), nh, L, mxGetPr(results[0]), work, threads);
    else
        imrestore::inverseWavelet(mxGetPr(results[0]), m, n, mxGetPr(filter), nh, L, mxGetPr(data), work, threads);
    storeResults(nlhs, plhs, results, 2);
}
