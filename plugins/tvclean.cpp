// tvclean: Rudin–Osher–Fatemi denoising by split Bregman iteration.
//
// Interface:
//   u = tvclean(image, mu, tolerance)
//     image      real (or complex: the real part is read) full double M×N, M, N ≥ 2
//     mu         fidelity weight, finite and above 0 (λ = 2μ)
//     tolerance  relative change of u between checks at which to stop, finite, at least 1e-10
//   u          double M×N
#include "host/gateway.h"
#include "host/interrupt.h"
#include "host/threads.h"
#include "host/results.h"
#include "tv/rof_denoise.h"

#include <cmath>
#include <limits>

using namespace imrestore;

namespace {

const char* const kFunction = "tvclean";

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    releaseKeptWhenCleared();
    requireArgumentCounts(kFunction, nrhs, 3, 3, "Three input arguments required.", "Three input arguments required.",
                          nlhs, 1, "Too many output arguments.");
    if (!mxIsDouble(prhs[0]))
        raiseError(kFunction, Reason::invalidArgument, "Input array must be of type double.");
    if (mxIsSparse(prhs[0]))
        raiseError(kFunction, Reason::invalidArgument, "The image must be a full matrix, not a sparse one.");
    if (mxGetNumberOfDimensions(prhs[0]) > 2)
        raiseError(kFunction, Reason::invalidArgument,
                   "The image has %lu dimensions; tvclean takes one M by N matrix: denoise each channel separately.",
                   static_cast<unsigned long>(mxGetNumberOfDimensions(prhs[0])));
    const size_t M = mxGetM(prhs[0]), N = mxGetN(prhs[0]);
    if (M < 2 || N < 2)
        raiseError(kFunction, Reason::invalidArgument, "The image must have at least two rows and two columns (it is %zu by %zu).",
                   M, N);
    const double mu = readNumericScalar(kFunction, prhs[1], "MU (argument 2)");
    const double tolerance = readNumericScalar(kFunction, prhs[2], "TOLERANCE (argument 3)");
    if (!(std::isfinite(mu) && mu > 0.0))
        raiseError(kFunction, Reason::invalidArgument, "MU (argument 2) must be finite and above 0 (it is %g).", mu);
    if (mu < kSmallestRofMu || mu > kLargestRofMu)
        raiseError(kFunction, Reason::invalidArgument,
                   "MU (argument 2) must lie between %g and %g (it is %g): outside, the iteration leaves the range of "
                   "normal doubles.",
                   kSmallestRofMu, kLargestRofMu, mu);
    if (!(std::isfinite(tolerance) && tolerance >= kSmallestRofTolerance))
        raiseError(kFunction, Reason::invalidArgument,
                   "TOLERANCE (argument 3) must be finite and at least %g (it is %g): the relative change of "
                   "double-precision iterates may settle above smaller values and the iteration would not end.",
                   kSmallestRofTolerance, tolerance);

    // denoiseRof writes every element of the result, so the host need not zero it first.
    const mwSize dims[2] = {static_cast<mwSize>(M), static_cast<mwSize>(N)};
    mxArray* result = createFilledResult(2, dims, mxDOUBLE_CLASS);
    HostStopCheck stop;
    const int threads = workerThreadCountFor(static_cast<double>(M) * static_cast<double>(N), kPixelsPerThread);
    if (!denoiseRof(mxGetPr(prhs[0]), static_cast<std::ptrdiff_t>(M), static_cast<std::ptrdiff_t>(N), mu, tolerance,
                    mxGetPr(result), &stop, threads)) {
        mxDestroyArray(result);
        if (stop.stopped())
            endInterruptedCall(kFunction);
        raiseError(kFunction, Reason::outOfMemory, "tvclean could not allocate its work memory for a %zu by %zu image.", M, N);
    }
    plhs[0] = result;
}
