// Argument checks shared by the graph solvers' gateways (graphshrink,
// graphsmooth): the parameter vector, array sizes and the neighbour array.
#pragma once

#include "host/gateway.h"
#include "host/threads.h"
#include "nonlocal/graph_view.h"
#include "nonlocal/reused_schedule.h"
#include "common/parallel_ranges.h"

#include <atomic>
#include <cstdint>

// Sizes and settings common to both solvers' parameter vectors:
// [verbose rows cols patchSide windowSide iNbNeigh ...].
struct GraphParams {
    bool verbose;
    std::int32_t rows, cols, slots;
};

// Checks that the parameter vector is a real single vector of at least
// `count` elements whose integer elements (indices in `integers`, ended by −1)
// are finite and fit 32 bits, and that rows, cols ≥ 1, slots ≥ 0 and
// rows·cols < 2^31. Returns the truncated integers in `values`.
inline GraphParams readGraphParams(const char* function, const mxArray* params, int count, const char* layout,
                                   const int* integers, std::int32_t* values)
{
    if (!isRealSingle(params) || mxGetNumberOfElements(params) < static_cast<size_t>(count))
        raiseError(function, Reason::invalidArgument,
                   "PARAMS must be a real single vector of at least %d elements: %s.", count, layout);
    const float* p = static_cast<const float*>(mxGetData(params));
    for (const int* e = integers; *e >= 0; ++e)
        if (!truncateToInt32(p[*e], &values[*e]))
            raiseError(function, Reason::invalidArgument, "PARAMS(%d) must be finite and fit a 32-bit integer.", *e + 1);
    GraphParams r{isVerboseFlag(p[0]), values[1], values[2], values[5]};
    if (r.rows < 1 || r.cols < 1)
        raiseError(function, Reason::invalidArgument, "The image size (rows %d, cols %d) must be at least 1 by 1.", r.rows,
                   r.cols);
    if (r.slots < 0)
        raiseError(function, Reason::invalidArgument, "iNbNeigh (%d) must not be negative.", r.slots);
    if (static_cast<double>(r.rows) * r.cols > 2147483647.0)
        raiseError(function, Reason::invalidArgument, "The image has %.0f pixels; at most 2^31-1 are supported.",
                   static_cast<double>(r.rows) * r.cols);
    return r;
}

// Slot entries of a graph below which a second thread costs the solvers more
// than it saves.
constexpr double kEntriesPerThread = 16384;

// Raises inconsistentSizes unless `array` holds at least planes·rows·cols elements.
inline void requirePlanes(const char* function, const mxArray* array, const char* name, double planes,
                          const GraphParams& p)
{
    const double needed = planes * p.rows * p.cols;
    const double held = static_cast<double>(mxGetNumberOfElements(array));
    if (held < needed)
        raiseError(function, Reason::inconsistentSizes, "%s has %.0f elements; %.0f are needed for rows %d, cols %d, iNbNeigh %d.",
                   name, held, needed, p.rows, p.cols, p.slots);
}

// Raises invalidArgument when some slot of the neighbour array names a pixel
// outside the image. The pixels are checked on all cores; the error, when
// there is one, is found and raised on the caller's thread.
inline void requireNeighboursInside(const char* function, const imrestore::GraphInput& graph, const GraphParams& p)
{
    const std::ptrdiff_t P = graph.pixels();
    const int threads = workerThreadCountFor(static_cast<double>(P) * p.slots, kEntriesPerThread);
    std::atomic<bool> outside{false};
    imrestore::forEachRange(P, threads, 1, 1, [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        bool inside = true;
        for (std::ptrdiff_t k = 0; k < p.slots; ++k) {
            const std::int32_t* column = graph.columnPlane(k);
            const std::int32_t* row = graph.rowPlane(k);
            for (std::ptrdiff_t g = first; g < last; ++g)
                inside &= static_cast<std::uint32_t>(column[g]) < static_cast<std::uint32_t>(p.cols) &&
                          static_cast<std::uint32_t>(row[g]) < static_cast<std::uint32_t>(p.rows);
        }
        if (!inside)
            outside.store(true);
    });
    if (!outside.load())
        return;
    for (std::ptrdiff_t k = 0; k < p.slots; ++k) {
        const std::int32_t* column = graph.columnPlane(k);
        const std::int32_t* row = graph.rowPlane(k);
        for (std::ptrdiff_t g = 0; g < P; ++g)
            if (column[g] < 0 || column[g] >= p.cols || row[g] < 0 || row[g] >= p.rows)
                raiseError(function, Reason::invalidArgument,
                           "NEIGHBOURS: slot %d of pixel (%d, %d) names row %d, column %d; rows must lie in "
                           "0..%d and columns in 0..%d (0-based).",
                           static_cast<int>(k), static_cast<int>(g / p.cols), static_cast<int>(g % p.cols), row[g],
                           column[g], p.rows - 1, p.cols - 1);
    }
}

// Checks the neighbours' range as requireNeighboursInside does, unless the
// layout kept from the last call fits the graph: that comparison covers the
// range too, and the solver may then take the layout without comparing again.
inline imrestore::KeptLayout requireNeighboursInsideUnlessKept(const char* function,
                                                                const imrestore::GraphInput& graph,
                                                                const GraphParams& p, int threads)
{
    if (imrestore::keptSweepScheduleFits(graph, threads))
        return imrestore::KeptLayout::fits;
    requireNeighboursInside(function, graph, p);
    return imrestore::KeptLayout::unchecked;
}

// Besides its workers and work blocks, a graph solver keeps the last sweep
// layout (nonlocal/reused_schedule.h); all go back when the host clears the
// module.
inline void releaseGraphWork()
{
    imrestore::releaseKeptSweepSchedule();
    releaseKept();
}
inline void releaseGraphWorkWhenCleared() { mexAtExit(releaseGraphWork); }
