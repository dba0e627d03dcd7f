// graphshrink: nonlocal TV restoration over a weight graph by split Bregman iteration.
//
// Interface:
//   [u, d, b, spare] = graphshrink(u0, d0, b0, f, weights, neighbours, params)
//     u0, f       single M×N (at least M·N elements)
//     d0, b0      single [N, M, K] split and Bregman variables (at least K·M·N)
//     weights     single [N, M, 2K], neighbours int32 [N, M, 2K+1]: a patchgraph graph
//     params      single [verbose rows cols patchSide windowSide iNbNeigh lambda mu nOuter]
//   u           single [M, N]
//   d, b        single [N, M, K]; passed back as d0, b0 with u as u0 they continue the iteration
//   spare       single [M, N, 10], all zeros
#include "host/graph_arguments.h"
#include "nonlocal/console_lines.h"
#include "nonlocal/graph_solvers.h"
#include "host/interrupt.h"
#include "host/shape_warnings.h"
#include "host/threads.h"
#include "host/results.h"

#include <ctime>

using namespace imrestore;

namespace {

enum { IN_U, IN_D, IN_B, IN_F, IN_WEIGHTS, IN_NEIGHBOURS, IN_PARAMS, IN_END };
enum { OUT_U, OUT_D, OUT_B, OUT_SPARE, OUT_END };
const char* const kFunction = "graphshrink";

void printProgress(float change, void*)
{
    mexPrintf(kTvProgressLine, static_cast<double>(change));
}

const float* singleData(const mxArray* argument)
{
    return static_cast<const float*>(mxGetData(argument));
}

float* singleData(mxArray* result)
{
    return static_cast<float*>(mxGetData(result));
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const std::clock_t start = std::clock();
    releaseGraphWorkWhenCleared();

    requireArgumentCounts(kFunction, nrhs, IN_END, IN_END,
                          "graphshrink needs seven arguments: u0, d0, b0, f, weights, neighbours and params.",
                          "graphshrink takes seven arguments: u0, d0, b0, f, weights, neighbours and params.", nlhs,
                          OUT_END, "graphshrink returns at most four results.");
    static const char* const names[] = {"U0 (argument 1)", "D0 (argument 2)", "B0 (argument 3)", "F (argument 4)",
                                        "WEIGHTS (argument 5)"};
    for (int a = IN_U; a <= IN_WEIGHTS; ++a)
        if (!isRealSingle(prhs[a]))
            raiseError(kFunction, Reason::invalidArgument, "%s must be a real single array.", names[a]);
    if (!isRealInt32(prhs[IN_NEIGHBOURS]))
        raiseError(kFunction, Reason::invalidArgument, "NEIGHBOURS (argument 6) must be a real int32 array.");

    static const int integers[] = {1, 2, 3, 4, 5, 8, -1};
    std::int32_t values[9] = {};
    const GraphParams p = readGraphParams(kFunction, prhs[IN_PARAMS], 9,
                                          "[verbose rows cols patchSide windowSide iNbNeigh lambda mu nOuter]",
                                          integers, values);
    const float* params = static_cast<const float*>(mxGetData(prhs[IN_PARAMS]));
    const NonlocalTvSettings settings{params[6], params[7], values[8]};
    // lambda = 0 switches the split penalty off (d stays 0); below 0, or mu
    // at or below 0, the sweeps divide by sums that can vanish or change sign.
    if (!(settings.lambda >= 0.0f) || !std::isfinite(settings.lambda))
        raiseError(kFunction, Reason::invalidArgument, "lambda (%g) must be finite and at least 0.",
                   static_cast<double>(settings.lambda));
    if (!(settings.mu > 0.0f) || !std::isfinite(settings.mu))
        raiseError(kFunction, Reason::invalidArgument, "mu (%g) must be finite and above 0.",
                   static_cast<double>(settings.mu));
    requirePlanes(kFunction, prhs[IN_U], "U0 (argument 1)", 1, p);
    // The four results and the sweep layout (about 20 bytes per slot:
    // nonlocal/sweep_schedule.h).
    const double pixelCount = static_cast<double>(p.rows) * p.cols;
    requireMemoryFor(kFunction, (2.0 * p.slots + 11.0) * pixelCount * sizeof(float) + 20.0 * p.slots * pixelCount,
                     "The restoration", "a smaller image or fewer slots need less");
    requirePlanes(kFunction, prhs[IN_D], "D0 (argument 2)", p.slots, p);
    requirePlanes(kFunction, prhs[IN_B], "B0 (argument 3)", p.slots, p);
    requirePlanes(kFunction, prhs[IN_F], "F (argument 4)", 1, p);
    requirePlanes(kFunction, prhs[IN_WEIGHTS], "WEIGHTS (argument 5)", 2.0 * p.slots, p);
    requirePlanes(kFunction, prhs[IN_NEIGHBOURS], "NEIGHBOURS (argument 6)", 2.0 * p.slots + 1, p);
    const GraphInput graph{p.rows, p.cols, p.slots, static_cast<const float*>(mxGetData(prhs[IN_WEIGHTS])),
                           static_cast<const std::int32_t*>(mxGetData(prhs[IN_NEIGHBOURS]))};
    // A second thread pays off only from kEntriesPerThread slot entries each.
    const int threads = workerThreadCountFor(static_cast<double>(p.rows) * p.cols * p.slots, kEntriesPerThread);
    const KeptLayout kept = requireNeighboursInsideUnlessKept(kFunction, graph, p, threads);
    warnIfNotImageShaped(kFunction, prhs[IN_U], "U0 (argument 1)", p.rows, p.cols);
    warnIfNotImageShaped(kFunction, prhs[IN_F], "F (argument 4)", p.rows, p.cols);
    warnIfNotGraphShaped(kFunction, prhs[IN_D], "D0 (argument 2)", p.rows, p.cols, p.slots, p.slots);
    warnIfNotGraphShaped(kFunction, prhs[IN_B], "B0 (argument 3)", p.rows, p.cols, p.slots, p.slots);
    warnIfNotGraphShaped(kFunction, prhs[IN_WEIGHTS], "WEIGHTS (argument 5)", p.rows, p.cols, p.slots,
                         2 * std::int64_t{p.slots});
    warnIfNotGraphShaped(kFunction, prhs[IN_NEIGHBOURS], "NEIGHBOURS (argument 6)", p.rows, p.cols, p.slots,
                         2 * std::int64_t{p.slots} + 1);

    const mwSize imageDims[2] = {static_cast<mwSize>(p.rows), static_cast<mwSize>(p.cols)};
    const mwSize fieldDims[3] = {static_cast<mwSize>(p.cols), static_cast<mwSize>(p.rows),
                                 static_cast<mwSize>(p.slots)};
    const mwSize spareDims[3] = {imageDims[0], imageDims[1], 10};
    mxArray* results[OUT_END];
    // The solver writes every element of u, d and b (copying u0, d0 and b0
    // when there is no iteration), so the host need not zero them first: for
    // d and b that would cost as much as an iteration.
    results[OUT_U] = createFilledResult(2, imageDims, mxSINGLE_CLASS);
    results[OUT_D] = createFilledResult(3, fieldDims, mxSINGLE_CLASS);
    results[OUT_B] = createFilledResult(3, fieldDims, mxSINGLE_CLASS);
    results[OUT_SPARE] = createZeroResult(3, spareDims, mxSINGLE_CLASS);
    const NonlocalTvFields fields{singleData(prhs[IN_U]),      singleData(prhs[IN_D]),      singleData(prhs[IN_B]),
                                  singleData(results[OUT_U]), singleData(results[OUT_D]), singleData(results[OUT_B])};

    HostStopCheck stop;
    if (!solveNonlocalTv(fields, singleData(prhs[IN_F]), graph, kept, settings, threads,
                         p.verbose ? printProgress : nullptr, nullptr, &stop)) {
        for (mxArray* result : results)
            mxDestroyArray(result);
        if (stop.stopped())
            endInterruptedCall(kFunction);
        mexPrintf("Memory allocation failure\n");
        raiseError(kFunction, Reason::outOfMemory, "graphshrink could not allocate its work memory.");
    }

    storeResults(nlhs, plhs, results, OUT_END);

    const std::clock_t end = std::clock();
    if (p.verbose)
        mexPrintf(kTvTimingLine, static_cast<double>(end - start) / CLOCKS_PER_SEC);
}
