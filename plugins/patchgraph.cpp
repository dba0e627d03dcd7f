// patchgraph: the nonlocal weight graph of a grey-level image.
//
// Interface:
//   [weights, neighbours, spare] = patchgraph(image, kernel, params)
//     image   single M×N (at least M·N elements)
//     kernel  single patchSide×patchSide patch weights
//     params  single [verbose rows cols patchSide windowSide nearest best h]
//   weights     single [N, M, 2K], K = nearest + best
//   neighbours  int32  [N, M, 2K+1]
//   spare       single [M, N, 10], all zeros
#include "host/gateway.h"
#include "host/interrupt.h"
#include "nonlocal/console_lines.h"
#include "nonlocal/patch_graph.h"
#include "host/shape_warnings.h"
#include "host/threads.h"
#include "host/results.h"

#include <ctime>

using namespace imrestore;

namespace {

enum { IN_IMAGE, IN_KERNEL, IN_PARAMS, IN_END };
enum { OUT_WEIGHTS, OUT_NEIGHBOURS, OUT_SPARE, OUT_END };
const char* const kFunction = "patchgraph";
const int kParamCount = 8;
const std::int32_t kLargestSide = 46340;   // 46340^2 < 2^31

struct Params {
    bool verbose;
    std::int32_t rows, cols;
    PatchGraphSettings settings;
};

// Reads and checks the parameter vector against the image and the kernel.
Params readParams(const mxArray* image, const mxArray* kernel, const mxArray* params)
{
    if (!isRealSingle(params) || mxGetNumberOfElements(params) < kParamCount)
        raiseError(kFunction, Reason::invalidArgument,
                   "PARAMS (argument 3) must be a real single vector of at least %d elements: "
                   "[verbose rows cols patchSide windowSide nearest best h].",
                   kParamCount);
    const float* p = static_cast<const float*>(mxGetData(params));
    static const char* const names[kParamCount] = {"verbose", "rows", "cols", "patchSide", "windowSide",
                                                   "nearest", "best", "h"};
    std::int32_t value[kParamCount] = {};
    for (int e = 1; e <= 6; ++e)
        if (!truncateToInt32(p[e], &value[e]))
            raiseError(kFunction, Reason::invalidArgument,
                       "PARAMS(%d) (%s) must be finite and fit a 32-bit integer.", e + 1, names[e]);
    Params r;
    r.verbose = isVerboseFlag(p[0]);
    r.rows = value[1];
    r.cols = value[2];
    r.settings = {value[3], value[4], value[5], value[6], p[7]};
    const PatchGraphSettings& s = r.settings;

    if (r.rows < 1 || r.cols < 1)
        raiseError(kFunction, Reason::invalidArgument, "The image size (rows %d, cols %d) must be at least 1 by 1.",
                   r.rows, r.cols);
    if (s.patchSide < 1 || s.windowSide < 1)
        raiseError(kFunction, Reason::invalidArgument,
                   "patchSide (%d) and windowSide (%d) must be at least 1.", s.patchSide, s.windowSide);
    if (s.nearest != 0 && s.nearest != 4)
        raiseError(kFunction, Reason::invalidArgument, "Number of nearest neighbors must be 0 or 4 !!!");
    if (s.nearest == 4 && s.windowSide < 3)
        raiseError(kFunction, Reason::invalidArgument,
                   "With 4 nearest neighbours windowSide (%d) must be at least 3.", s.windowSide);
    if (s.best < 0)
        raiseError(kFunction, Reason::invalidArgument, "best (%d) must not be negative.", s.best);
    // A window side reaches 2^31 - 1, its pixel count 2^62: counted in 64 bits.
    const std::int64_t side = 2 * static_cast<std::int64_t>(windowHalf(s)) + 1, others = side * side - 1;
    if (s.best > others)
        raiseError(kFunction, Reason::invalidArgument,
                   "best (%d) exceeds the %lld other pixels of a window of side %lld (windowSide %d).", s.best,
                   static_cast<long long>(others), static_cast<long long>(side), s.windowSide);
    if (!(s.h > 0.0f))
        raiseError(kFunction, Reason::invalidArgument, "h (%g) must be above 0.", static_cast<double>(s.h));
    const int border = borderWidth(s);
    if (r.rows < border || r.cols < border)
        raiseError(kFunction, Reason::invalidArgument,
                   "The image (%d by %d) must be at least as large as the border width "
                   "(patchSide-1)/2 + (windowSide-1)/2 = %d in both directions.",
                   r.rows, r.cols, border);

    // The builder indexes a window and the kernel in 32 bits.
    if (s.patchSide > kLargestSide || s.windowSide > kLargestSide)
        raiseError(kFunction, Reason::invalidArgument,
                   "patchSide (%d) and windowSide (%d) must be at most %d: a patch or a window of more than "
                   "2^31-1 pixels is not supported.",
                   s.patchSide, s.windowSide, kLargestSide);

    const double pixels = static_cast<double>(r.rows) * r.cols;
    if (pixels > 2147483647.0)
        raiseError(kFunction, Reason::invalidArgument, "The image has %.0f pixels; at most 2^31-1 are supported.", pixels);
    if (static_cast<double>(mxGetNumberOfElements(image)) < pixels)
        raiseError(kFunction, Reason::inconsistentSizes, "The image has %.0f elements; rows*cols = %.0f are needed.",
                   static_cast<double>(mxGetNumberOfElements(image)), pixels);
    const double kernelSize = static_cast<double>(s.patchSide) * s.patchSide;
    if (static_cast<double>(mxGetNumberOfElements(kernel)) < kernelSize)
        raiseError(kFunction, Reason::inconsistentSizes, "The kernel has %.0f elements; patchSide^2 = %.0f are needed.",
                   static_cast<double>(mxGetNumberOfElements(kernel)), kernelSize);
    const double planes = 2.0 * (static_cast<double>(s.nearest) + s.best) + 1.0;
    if (planes * pixels > 4.0e18 / sizeof(float))
        raiseError(kFunction, Reason::invalidArgument,
                   "A graph with %.0f slots per pixel over %.0f pixels is too large to address.",
                   (planes - 1.0) / 2.0, pixels);
    // The three results, and the graph under construction (a link and a
    // weight per slot, a count and a flag per pixel).
    const double slots = (planes - 1.0) / 2.0;
    const double bytes = (2.0 * planes + 10.0) * pixels * sizeof(float) + (8.0 * slots + 5.0) * pixels;
    char what[96];
    std::snprintf(what, sizeof what, "A graph of %.0f slots per pixel over %.0f pixels", slots, pixels);
    requireMemoryFor(kFunction, bytes, what, "fewer best neighbours need less");
    return r;
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const std::clock_t start = std::clock();
    releaseKeptWhenCleared();

    requireArgumentCounts(kFunction, nrhs, IN_END, IN_END, "patchgraph needs three arguments: image, kernel and params.",
                          "patchgraph takes three arguments: image, kernel and params.", nlhs, OUT_END,
                          "patchgraph returns at most three results.");
    if (!isRealSingle(prhs[IN_IMAGE]))
        raiseError(kFunction, Reason::invalidArgument, "IMAGE (argument 1) must be a real single array.");
    if (!isRealSingle(prhs[IN_KERNEL]))
        raiseError(kFunction, Reason::invalidArgument, "KERNEL (argument 2) must be a real single array.");
    const Params p = readParams(prhs[IN_IMAGE], prhs[IN_KERNEL], prhs[IN_PARAMS]);
    warnIfNotImageShaped(kFunction, prhs[IN_IMAGE], "IMAGE (argument 1)", p.rows, p.cols);
    const PatchGraphSettings& s = p.settings;
    const std::int32_t slots = s.nearest + s.best;

    const mwSize weightDims[3] = {static_cast<mwSize>(p.cols), static_cast<mwSize>(p.rows),
                                  static_cast<mwSize>(2 * static_cast<mwSize>(slots))};
    const mwSize neighbourDims[3] = {weightDims[0], weightDims[1], weightDims[2] + 1};
    const mwSize spareDims[3] = {static_cast<mwSize>(p.rows), static_cast<mwSize>(p.cols), 10};
    mxArray* results[OUT_END];
    // Every element of the graph arrays is written; zero-filling them first
    // would take the host a second or two for a large image.
    results[OUT_WEIGHTS] = createFilledResult(3, weightDims, mxSINGLE_CLASS);
    results[OUT_NEIGHBOURS] = createFilledResult(3, neighbourDims, mxINT32_CLASS);
    results[OUT_SPARE] = createZeroResult(3, spareDims, mxSINGLE_CLASS);

    mexPrintf(kGraphSizesLine, slots, patchHalf(s), windowHalf(s), borderWidth(s));

    GraphArrays graph{p.rows, p.cols, slots, static_cast<float*>(mxGetData(results[OUT_WEIGHTS])),
                      static_cast<std::int32_t*>(mxGetData(results[OUT_NEIGHBOURS]))};
    HostStopCheck stop;
    if (!buildPatchGraph(static_cast<const float*>(mxGetData(prhs[IN_IMAGE])),
                         static_cast<const float*>(mxGetData(prhs[IN_KERNEL])), s, workerThreadCount(), graph,
                         &stop)) {
        for (mxArray* result : results)
            mxDestroyArray(result);
        if (stop.stopped())
            endInterruptedCall(kFunction);
        mexPrintf("Memory allocation failure\n");
        raiseError(kFunction, Reason::outOfMemory, "patchgraph could not allocate its work memory.");
    }

    storeResults(nlhs, plhs, results, OUT_END);

    const std::clock_t end = std::clock();
    if (p.verbose)
        mexPrintf(kGraphTimingLine, static_cast<double>(end - start) / CLOCKS_PER_SEC);
}
