// graphsmooth: nonlocal H1 restoration over a weight graph by Gauss–Seidel sweeps.
//
// Interface:
//   u = graphsmooth(f, weights, neighbours, params)
//     f           single M×N data image and starting estimate (at least M·N elements)
//     weights     single [N, M, 2K], neighbours int32 [N, M, 2K+1]: a patchgraph graph
//     params      single [verbose rows cols patchSide windowSide iNbNeigh mu nOuter]
//   u           single [M, N]
#include "host/graph_arguments.h"
#include "nonlocal/console_lines.h"
#include "nonlocal/graph_solvers.h"
#include "host/interrupt.h"
#include "host/shape_warnings.h"
#include "host/threads.h"
#include "host/results.h"

#include <cstring>
#include <ctime>

using namespace imrestore;

namespace {

enum { IN_F, IN_WEIGHTS, IN_NEIGHBOURS, IN_PARAMS, IN_END };
enum { OUT_U, OUT_END };
const char* const kFunction = "graphsmooth";

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    const std::clock_t start = std::clock();
    releaseGraphWorkWhenCleared();

    requireArgumentCounts(kFunction, nrhs, IN_END, IN_END,
                          "graphsmooth needs four arguments: f, weights, neighbours and params.",
                          "graphsmooth takes four arguments: f, weights, neighbours and params.", nlhs, OUT_END,
                          "graphsmooth returns one result.");
    if (!isRealSingle(prhs[IN_F]))
        raiseError(kFunction, Reason::invalidArgument, "F (argument 1) must be a real single array.");
    if (!isRealSingle(prhs[IN_WEIGHTS]))
        raiseError(kFunction, Reason::invalidArgument, "WEIGHTS (argument 2) must be a real single array.");
    if (!isRealInt32(prhs[IN_NEIGHBOURS]))
        raiseError(kFunction, Reason::invalidArgument, "NEIGHBOURS (argument 3) must be a real int32 array.");

    static const int integers[] = {1, 2, 3, 4, 5, 7, -1};
    std::int32_t values[8] = {};
    const GraphParams p = readGraphParams(kFunction, prhs[IN_PARAMS], 8,
                                          "[verbose rows cols patchSide windowSide iNbNeigh mu nOuter]", integers,
                                          values);
    const float mu = static_cast<const float*>(mxGetData(prhs[IN_PARAMS]))[6];
    // At or below 0 the sweeps divide by sums that can vanish or change sign.
    if (!(mu > 0.0f) || !std::isfinite(mu))
        raiseError(kFunction, Reason::invalidArgument, "mu (%g) must be finite and above 0.", static_cast<double>(mu));
    const std::int32_t nOuter = values[7];
    requirePlanes(kFunction, prhs[IN_F], "F (argument 1)", 1, p);
    // The result and the sweep layout (about 20 bytes per slot: nonlocal/sweep_schedule.h).
    const double pixels = static_cast<double>(p.rows) * p.cols;
    requireMemoryFor(kFunction, pixels * sizeof(float) + 20.0 * p.slots * pixels, "The restoration",
                     "a smaller image or fewer slots need less");
    // Only the weight planes 0, 2, …, 2K−2 are read.
    requirePlanes(kFunction, prhs[IN_WEIGHTS], "WEIGHTS (argument 2)", p.slots > 0 ? 2.0 * p.slots - 1 : 0, p);
    requirePlanes(kFunction, prhs[IN_NEIGHBOURS], "NEIGHBOURS (argument 3)", 2.0 * p.slots + 1, p);
    const GraphInput graph{p.rows, p.cols, p.slots, static_cast<const float*>(mxGetData(prhs[IN_WEIGHTS])),
                           static_cast<const std::int32_t*>(mxGetData(prhs[IN_NEIGHBOURS]))};
    const int threads = workerThreadCountFor(static_cast<double>(p.rows) * p.cols * p.slots, kEntriesPerThread);
    const KeptLayout kept = requireNeighboursInsideUnlessKept(kFunction, graph, p, threads);
    warnIfNotImageShaped(kFunction, prhs[IN_F], "F (argument 1)", p.rows, p.cols);
    warnIfNotGraphShaped(kFunction, prhs[IN_WEIGHTS], "WEIGHTS (argument 2)", p.rows, p.cols, p.slots,
                         2 * std::int64_t{p.slots}, true);
    warnIfNotGraphShaped(kFunction, prhs[IN_NEIGHBOURS], "NEIGHBOURS (argument 3)", p.rows, p.cols, p.slots,
                         2 * std::int64_t{p.slots} + 1);

    const mwSize dims[2] = {static_cast<mwSize>(p.rows), static_cast<mwSize>(p.cols)};
    // Every element is copied from f below, so the host need not zero it first.
    mxArray* result = createFilledResult(2, dims, mxSINGLE_CLASS);
    float* u = static_cast<float*>(mxGetData(result));
    std::memcpy(u, mxGetData(prhs[IN_F]), static_cast<size_t>(p.rows) * static_cast<size_t>(p.cols) * sizeof(float));

    HostStopCheck stop;
    if (!solveNonlocalH1(u, static_cast<const float*>(mxGetData(prhs[IN_F])), graph, kept, mu, nOuter, threads,
                         &stop)) {
        mxDestroyArray(result);
        if (stop.stopped())
            endInterruptedCall(kFunction);
        mexPrintf("Memory allocation failure\n");
        raiseError(kFunction, Reason::outOfMemory, "graphsmooth could not allocate its work memory.");
    }
    plhs[OUT_U] = result;

    const std::clock_t end = std::clock();
    if (p.verbose)
        mexPrintf(kH1TimingLine, static_cast<double>(end - start) / CLOCKS_PER_SEC);
}
