// Building the patch graph: plan the passes and their chunks, allocate the
// work memory, then compute windows ahead on worker threads while the
// caller's thread selects the neighbours chunk by chunk, in visiting order.
#include "nonlocal/patch_graph.h"

#include "common/ordered_tasks.h"
#include "common/work_memory.h"
#include "nonlocal/neighbour_selection.h"
#include "nonlocal/patch_windows.h"

#include <algorithm>
#include <new>
#include <vector>

namespace imrestore {

namespace {

constexpr int kMaxBuffers = 16;
constexpr std::ptrdiff_t kChunksAhead = 2;   // chunks computed ahead of the one consumed
constexpr double kLargestStripeMemory = 32.0 * (1 << 20);

// The passes of one construction, cut into chunks (which point into
// `passes`, so a plan stays where it was made), and the window buffers they need.
struct GraphPlan {
    GraphPlan() = default;
    GraphPlan(const GraphPlan&) = delete;
    GraphPlan& operator=(const GraphPlan&) = delete;

    WindowPass passes[5];
    bool stripedInterior;   // whether passes[0] runs in stripes
    std::vector<WindowChunk> chunks;
    int bufferCount;        // chunk n fills buffer n % bufferCount
    std::ptrdiff_t bufferValues;
};

void planGraph(const PatchGraphSettings& settings, std::ptrdiff_t M, std::ptrdiff_t N, GraphPlan& plan)
{
    const int halfWindow = windowHalf(settings), side = 2 * halfWindow + 1;
    const std::ptrdiff_t windowSize = static_cast<std::ptrdiff_t>(side) * side, border = borderWidth(settings);
    // The interior runs in stripes when it is high enough and the windows of
    // the stripes that one stripe writes into fit in kLargestStripeMemory;
    // otherwise it is visited like the bands (clipped extents equal full ones
    // there, and no candidate leaves the image). While chunk n is consumed,
    // chunks up to n + kChunksAhead are computed, and a stripe writes into
    // stripes up to ceil(windowHalf / kWindowLanes) further on.
    const int stripeBuffers = 1 + kChunksAhead + (halfWindow + kWindowLanes - 1) / kWindowLanes;
    const double stripeBytes =
        4.0 * kWindowLanes * std::max<std::ptrdiff_t>(0, N - 2 * border) * static_cast<double>(windowSize);
    plan.stripedInterior = M - 2 * border >= kWindowLanes && halfWindow <= kMaxStripedWindowHalf &&
                           stripeBuffers <= kMaxBuffers &&
                           stripeBytes * stripeBuffers <= kLargestStripeMemory;
    plan.passes[0] = {border, M - border, border, N - border, !plan.stripedInterior}; // interior
    plan.passes[1] = {0, border, 0, N, true};                                // top rows
    plan.passes[2] = {M - border, M, 0, N, true};                            // bottom rows
    plan.passes[3] = {border, M - border, 0, border, true};                        // left columns
    plan.passes[4] = {border, M - border, N - border, N, true};                    // right columns
    plan.chunks = makeWindowChunks(plan.passes, 5, windowSize);
    plan.bufferCount = plan.stripedInterior ? stripeBuffers : 1 + kChunksAhead;
    std::ptrdiff_t largest = 1;
    for (const WindowChunk& chunk : plan.chunks)
        largest = std::max(largest, chunk.visits);
    plan.bufferValues = windowSize * largest;
}

// The work memory of one construction; null members when memory is short.
struct GraphWork {
    WorkArray<float> windows[kMaxBuffers];
    float* windowPointers[kMaxBuffers] = {};
    WorkArray<float> blockMax;
    WorkArray<float> paddedImage;   // the image with kWindowLanes zeros on either side
    WeightGraph graph{};

    bool allocate(const GraphPlan& plan, std::ptrdiff_t windowSize, std::ptrdiff_t M, std::ptrdiff_t N,
                  std::ptrdiff_t slots)
    {
        for (int b = 0; b < plan.bufferCount; ++b) {
            windows[b] = WorkArray<float>(static_cast<std::size_t>(plan.bufferValues));
            if (!windows[b])
                return false;
            windowPointers[b] = windows[b].get();
        }
        blockMax = WorkArray<float>(static_cast<std::size_t>(windowSize / kWindowLanes + 1));
        paddedImage = WorkArray<float>(static_cast<std::size_t>(M * N + 2 * kWindowLanes));
        return blockMax && paddedImage && allocateWeightGraph(M, N, slots, &graph);
    }
};

// buildPatchGraph without the catch for std::bad_alloc.
bool buildGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                GraphArrays& arrays, StopCheck* stop)
{
    const std::ptrdiff_t M = arrays.rows, N = arrays.cols;
    const int halfWindow = windowHalf(settings), side = 2 * halfWindow + 1;
    const std::ptrdiff_t windowSize = static_cast<std::ptrdiff_t>(side) * side;
    GraphPlan plan;
    planGraph(settings, M, N, plan);
    GraphWork work;
    if (!work.allocate(plan, windowSize, M, N, arrays.slots))
        return false;
    float* padded = work.paddedImage.get();
    std::fill(padded, padded + kWindowLanes, 0.0f);
    std::copy(image, image + M * N, padded + kWindowLanes);
    std::fill(padded + kWindowLanes + M * N, padded + M * N + 2 * kWindowLanes, 0.0f);
    const PatchWindows c{padded + kWindowLanes, kernel, M, N, settings.patchSide,
                         patchHalf(settings), halfWindow, side, windowSize, static_cast<double>(settings.h),
                         plan.stripedInterior ? &plan.passes[0] : nullptr, work.windowPointers, plan.bufferCount,
                         &simd::kernels()};
    WeightGraph& graph = work.graph;
    if (!presetGraph(graph, settings.nearest, stop))
        return false;

    const std::vector<WindowChunk>& chunks = plan.chunks;
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(chunks.size());
    std::vector<std::ptrdiff_t> tasks(chunks.size());
    for (std::size_t n = 0; n < chunks.size(); ++n)
        tasks[n] = chunks[n].tasks;
    {
        OrderedTaskPool pool(std::move(tasks), std::max(1, threads), [&](std::ptrdiff_t n, std::ptrdiff_t task) {
            computeWindowTask(c, chunks[n], task, work.windowPointers[n % plan.bufferCount]);
        });
        for (std::ptrdiff_t n = 0; n < kChunksAhead && n < count; ++n)
            pool.openNext();
        for (std::ptrdiff_t n = 0; n < count; ++n) {
            if (pollStop(stop))
                return false;
            pool.finish(n);
            if (n + kChunksAhead < count)
                pool.openNext();
            const WindowChunk& chunk = chunks[n];
            const WindowPass& pass = *chunk.pass;
            float* windows = work.windowPointers[n % plan.bufferCount];
            for (std::ptrdiff_t v = 0; v < chunk.visits; ++v) {
                const std::ptrdiff_t visit = chunk.firstVisit + v;
                selectNeighbours(c, pass, pass.rowBegin + visit / pass.width(), pass.colBegin + visit % pass.width(),
                                 settings.nearest, windows + v * windowSize, work.blockMax.get(), graph);
            }
        }
    }
    pairSlots(graph);
    normalizeWeights(graph);
    return storeGraph(graph, arrays, stop);
}

} // namespace

bool buildPatchGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                     GraphArrays& arrays, StopCheck* stop)
{
    try {
        return buildGraph(image, kernel, settings, threads, arrays, stop);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace imrestore
