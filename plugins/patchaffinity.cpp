// patchaffinity: the sparse symmetric nonlocal-means affinity of an image.
//
// Interface:
//   W = patchaffinity(image, h [, patchRadius [, searchRadius]])
//     image         real full double M×N
//     h             filtering parameter, finite, not 0
//     patchRadius   p, patches (2p+1)×(2p+1), 0 ≤ p < M, N (default 3)
//     searchRadius  t, windows (2t+1)×(2t+1), t ≥ 0 (default 6)
//   W             sparse double n×n, n = M·N, unit diagonal
// Two further arguments are accepted and not read.
#include "host/gateway.h"
#include "host/interrupt.h"
#include "affinity/patch_affinity.h"
#include "host/physical_memory.h"
#include "host/threads.h"
#include "host/results.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace imrestore;

namespace {

const char* const kFunction = "patchaffinity";
const double kSmallestH = 1e-150;

// A numeric scalar argument, finite.
double readFinite(const mxArray* argument, const char* name)
{
    const double value = readNumericScalar(kFunction, argument, name);
    if (!std::isfinite(value))
        raiseError(kFunction, Reason::invalidArgument, "%s must be finite (it is %g).", name, value);
    return value;
}

// A radius: finite, at least 0 after truncation toward zero, and small
// enough to size patches and windows with.
int readRadius(const mxArray* argument, const char* name)
{
    const double value = std::trunc(readFinite(argument, name));
    if (value < 0)
        raiseError(kFunction, Reason::invalidArgument, "%s must not be negative (it is %g).", name, value);
    if (value > 1e6)
        raiseError(kFunction, Reason::invalidArgument, "%s must be at most 1e6 (it is %g).", name, value);
    return static_cast<int>(value);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    releaseKeptWhenCleared();
    static_assert(sizeof(mwIndex) == sizeof(std::int64_t), "sparse indices are 64-bit here");
    requireArgumentCounts(kFunction, nrhs, 1, 6, "At least one inputs required.", "Too many inputs required.", nlhs, 1,
                          "One output required.");
    if (nlhs < 1)
        raiseError(kFunction, Reason::notEnoughOutputs, "One output required.");
    if (nrhs < 2)
        raiseError(kFunction, Reason::notEnoughInputs, "patchaffinity needs the filtering parameter h as argument 2.");
    const mxArray* image = prhs[0];
    if (!isRealFullDouble(image) || mxIsEmpty(image))
        raiseError(kFunction, Reason::invalidArgument, "IMAGE (argument 1) must be a real, full, non-empty double matrix.");
    if (mxGetNumberOfDimensions(image) > 2)
        raiseError(kFunction, Reason::invalidArgument,
                   "IMAGE (argument 1) has %lu dimensions; patchaffinity takes one M by N matrix: denoise each "
                   "channel separately.",
                   static_cast<unsigned long>(mxGetNumberOfDimensions(image)));
    const double h = readFinite(prhs[1], "H (argument 2)");
    if (h == 0)
        raiseError(kFunction, Reason::invalidArgument, "H (argument 2) must not be 0.");
    // Below this 2h^2 underflows and the patch weights become infinite (and
    // the distance of two equal pixels, infinity times 0, NaN).
    if (std::fabs(h) < kSmallestH)
        raiseError(kFunction, Reason::invalidArgument,
                   "H (argument 2) must be at least %g in magnitude (it is %g): 2*H^2 would underflow.", kSmallestH, h);
    const int p = nrhs >= 3 ? readRadius(prhs[2], "PATCHRADIUS (argument 3)") : 3;
    const int t = nrhs >= 4 ? readRadius(prhs[3], "SEARCHRADIUS (argument 4)") : 6;
    const std::ptrdiff_t M = static_cast<std::ptrdiff_t>(mxGetM(image)), N = static_cast<std::ptrdiff_t>(mxGetN(image));
    if (p >= M || p >= N)
        raiseError(kFunction, Reason::invalidArgument,
                   "PATCHRADIUS (%d) must be smaller than both image sizes (%td by %td): patches mirror p pixels "
                   "past each border.",
                   p, M, N);
    // Positions in the mirrored image are 32-bit.
    const double extendedPixels = static_cast<double>(M + 2 * p) * static_cast<double>(N + 2 * p);
    if (extendedPixels >= 2147483648.0)
        raiseError(kFunction, Reason::tooLarge,
                   "IMAGE with its %d-pixel mirrored border has %.0f pixels; patchaffinity takes fewer than 2^31.", p,
                   extendedPixels);

    // The matrix holds exactly the entries its windows have (the image border
    // cuts them), and asks the host for that much room.
    const std::int64_t entries = affinityEntries(M, N, t);
    const double bytes = static_cast<double>(entries) * (sizeof(double) + sizeof(mwIndex));
    if (bytes > physicalMemoryBytes())
        raiseError(kFunction, Reason::tooLarge,
                   "The affinity matrix has %.0f entries (%.3g GB), more than this machine's memory holds; a smaller "
                   "search radius needs less.",
                   static_cast<double>(entries), bytes / 1e9);

    // The host would zero-fill a sparse matrix of this capacity (seconds
    // for a large image, and no Ctrl-C meanwhile). Its values and row
    // indices come from mxMalloc instead, filled here and handed over.
    const std::ptrdiff_t n = M * N;
    const size_t room = static_cast<size_t>(entries);
    mxArray* result = mxCreateSparse(static_cast<mwSize>(n), static_cast<mwSize>(n), 1, mxREAL);
    double* values = static_cast<double*>(allocateFilledHostMemory(room * sizeof(double)));
    mwIndex* rowIndex = static_cast<mwIndex*>(allocateFilledHostMemory(room * sizeof(mwIndex)));
    if (!values || !rowIndex) {
        mxFree(values);
        mxFree(rowIndex);
        mxDestroyArray(result);
        raiseError(kFunction, Reason::outOfMemory, "patchaffinity could not allocate the %.0f entries of its result.",
                   static_cast<double>(entries));
    }
    HostStopCheck stop;
    const bool built = buildPatchAffinity(mxGetPr(image), M, N, p, t, h, workerThreadCount(), values,
                                          reinterpret_cast<std::int64_t*>(rowIndex),
                                          reinterpret_cast<std::int64_t*>(mxGetJc(result)), &stop);
    if (!built) {
        mxFree(values);
        mxFree(rowIndex);
        mxDestroyArray(result);
        if (stop.stopped())
            endInterruptedCall(kFunction);
        raiseError(kFunction, Reason::outOfMemory, "patchaffinity could not allocate its work memory.");
    }
    mxFree(mxGetPr(result));
    mxFree(mxGetIr(result));
    mxSetNzmax(result, static_cast<mwSize>(room));
    mxSetPr(result, values);
    mxSetIr(result, rowIndex);
    plhs[0] = result;
}
