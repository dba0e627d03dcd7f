#include "patch_graph.h"

#include "fast_math.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <thread>
#include <vector>

namespace {

// A rectangle of pixels visited rows outer, columns inner; `clipped` passes
// clip patches at the image border and test candidates against it.
struct Pass {
    std::ptrdiff_t rowBegin, rowEnd, colBegin, colEnd;
    bool clipped;

    std::ptrdiff_t width() const { return colEnd - colBegin; }
    std::ptrdiff_t size() const
    {
        return rowEnd > rowBegin && colEnd > colBegin ? (rowEnd - rowBegin) * (colEnd - colBegin) : 0;
    }
};

// Patch extents around pixel (i, j): rows i−up..i+down, columns j−left..j+right.
struct Extents {
    std::ptrdiff_t up, down, left, right;
};

struct Context {
    const float* image;
    const float* kernel;
    std::ptrdiff_t rows, cols;
    int patchSide, im2, iw2, windowSide;   // windowSide here is the effective side 2·iw2 + 1
    double h;
};

Extents patchExtents(const Context& c, const Pass& pass, std::ptrdiff_t i, std::ptrdiff_t j)
{
    if (!pass.clipped)
        return {c.im2, c.im2, c.im2, c.im2};
    return {i - c.im2 >= 0 ? c.im2 : i, i + c.im2 <= c.rows - 1 ? c.im2 : c.rows - 1 - i,
            j - c.im2 >= 0 ? c.im2 : j, j + c.im2 <= c.cols - 1 ? c.im2 : c.cols - 1 - j};
}

// Weight of every window candidate of pixel (i, j), in scan order: candidate
// (di, dj) at (di + iw2)·side + (dj + iw2). A candidate whose patch with the
// same extents would leave the image gets 0 in clipped passes. Each distance
// sums its terms over patch rows a (outer) and columns b (inner): the
// difference in single precision, kernel·d·d in double, the sum rounded to
// single after each term. Candidates of one window column are computed side by
// side, each keeping its own sum.
void computeWindow(const Context& c, const Pass& pass, std::ptrdiff_t i, std::ptrdiff_t j, float* window,
                   float* distances)
{
    const int iw2 = c.iw2;
    const int side = c.windowSide;
    const Extents e = patchExtents(c, pass, i, j);
    std::ptrdiff_t diLo = -iw2, diHi = iw2, djLo = -iw2, djHi = iw2;
    if (pass.clipped) {
        diLo = std::max<std::ptrdiff_t>(diLo, e.up - i);
        diHi = std::min<std::ptrdiff_t>(diHi, c.rows - 1 - e.down - i);
        djLo = std::max<std::ptrdiff_t>(djLo, e.left - j);
        djHi = std::min<std::ptrdiff_t>(djHi, c.cols - 1 - e.right - j);
        std::fill(window, window + static_cast<std::ptrdiff_t>(side) * side, 0.0f);
    }
    const std::ptrdiff_t count = diHi - diLo + 1;
    const std::ptrdiff_t M = c.rows;
    for (std::ptrdiff_t dj = djLo; dj <= djHi; ++dj) {
        for (std::ptrdiff_t l = 0; l < count; ++l)
            distances[l] = 0.0f;
        for (std::ptrdiff_t a = -e.up; a <= e.down; ++a) {
            for (std::ptrdiff_t b = -e.left; b <= e.right; ++b) {
                const double k = c.kernel[(a + c.im2) + c.patchSide * (b + c.im2)];
                const float centre = c.image[(i + a) + M * (j + b)];
                const float* candidate = c.image + (i + diLo + a) + M * (j + dj + b);
                for (std::ptrdiff_t l = 0; l < count; ++l) {
                    const float d = centre - candidate[l];
                    distances[l] = static_cast<float>(static_cast<double>(distances[l]) + k * d * d);
                }
            }
        }
        for (std::ptrdiff_t l = 0; l < count; ++l)
            window[(diLo + l + iw2) * side + (dj + iw2)] = fastExp(-static_cast<double>(distances[l]) / c.h);
    }
}

// Index of the first largest positive weight in scan order, or -1 when no
// weight is above 0.001.
std::ptrdiff_t findBestCandidate(const float* window, std::ptrdiff_t size)
{
    float best = 0.0f;
    for (std::ptrdiff_t q = 0; q < size; ++q)
        best = window[q] > best ? window[q] : best;
    if (!(static_cast<double>(best) > 0.001))
        return -1;
    for (std::ptrdiff_t q = 0; q < size; ++q)
        if (window[q] == best)
            return q;
    return -1;
}

// Enters the nearest and the best-matching neighbours of pixel (i, j) from its
// window weights, which it consumes.
void selectNeighbours(const Context& c, const Pass& pass, std::ptrdiff_t i, std::ptrdiff_t j, int nearest,
                      float* window, WeightGraph& graph)
{
    const int iw2 = c.iw2;
    const int side = c.windowSide;
    auto at = [&](int di, int dj) -> float& { return window[(di + iw2) * side + (dj + iw2)]; };
    at(0, 0) = 0.0f;
    if (nearest == 4) {
        static const int offsets[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
        for (int slot = 0; slot < 4; ++slot) {
            const int di = offsets[slot][0], dj = offsets[slot][1];
            const bool inside = i + di >= 0 && i + di < c.rows && j + dj >= 0 && j + dj < c.cols;
            if (pass.clipped && !inside)
                continue;
            insertNearest(graph, i, j, di, dj, slot, at(di, dj));
            at(di, dj) = 0.0f;
        }
    }
    const std::ptrdiff_t g = graphOffset(graph, i, j);
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(side) * side;
    while (graph.neighbours[g] < graph.slots) {
        const std::ptrdiff_t q = findBestCandidate(window, size);
        if (q < 0)
            break;
        const int di = static_cast<int>(q / side) - iw2;
        const int dj = static_cast<int>(q % side) - iw2;
        insertPair(graph, i, j, di, dj, window[q]);
        window[q] = 0.0f;
    }
}

// Runs work(part, begin, end) over [0, count) split into at most `threads`
// contiguous parts, part 0 on the calling thread. A part whose thread cannot
// be started runs on the calling thread too.
template <typename Work>
void runInParallel(int threads, std::ptrdiff_t count, const Work& work)
{
    const int parts = static_cast<int>(std::max<std::ptrdiff_t>(1, std::min<std::ptrdiff_t>(threads, count)));
    std::vector<std::thread> workers;
    std::vector<int> leftover;
    auto runPart = [&work, count, parts](int part) {
        work(part, count * part / parts, count * (part + 1) / parts);
    };
    for (int part = 1; part < parts; ++part) {
        try {
            workers.emplace_back(runPart, part);
        } catch (const std::exception&) {
            leftover.push_back(part);
        }
    }
    runPart(0);
    for (int part : leftover)
        runPart(part);
    for (std::thread& t : workers)
        t.join();
}

} // namespace

bool buildPatchGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                     WeightGraph& graph)
{
    const Context c{image,
                    kernel,
                    graph.rows,
                    graph.cols,
                    settings.patchSide,
                    patchHalf(settings),
                    windowHalf(settings),
                    2 * windowHalf(settings) + 1,
                    static_cast<double>(settings.h)};
    const std::ptrdiff_t M = graph.rows, N = graph.cols, ic1 = borderWidth(settings);
    const Pass passes[5] = {
        {ic1, M - ic1, ic1, N - ic1, false}, // interior
        {0, ic1, 0, N, true},                // band 0: top rows
        {M - ic1, M, 0, N, true},            // band 1: bottom rows
        {ic1, M - ic1, 0, ic1, true},        // band 2: left columns
        {ic1, M - ic1, N - ic1, N, true},    // band 3: right columns
    };

    // Window weights are computed for a chunk of visits at a time, then consumed in visiting order.
    const std::ptrdiff_t windowSize = static_cast<std::ptrdiff_t>(c.windowSide) * c.windowSide;
    const std::ptrdiff_t chunk = std::max<std::ptrdiff_t>(1, std::min<std::ptrdiff_t>(4096, (8 << 20) / (windowSize * 4)));
    threads = std::max(1, threads);
    float* windows = static_cast<float*>(std::malloc(sizeof(float) * windowSize * chunk));
    float* distances = static_cast<float*>(std::malloc(sizeof(float) * c.windowSide * threads));
    if (!windows || !distances) {
        std::free(windows);
        std::free(distances);
        return false;
    }

    presetGraph(graph, settings.nearest);
    for (const Pass& pass : passes) {
        const std::ptrdiff_t visits = pass.size();
        for (std::ptrdiff_t first = 0; first < visits; first += chunk) {
            const std::ptrdiff_t count = std::min(chunk, visits - first);
            runInParallel(threads, count, [&](int part, std::ptrdiff_t begin, std::ptrdiff_t end) {
                float* own = distances + c.windowSide * part;
                for (std::ptrdiff_t v = begin; v < end; ++v) {
                    const std::ptrdiff_t visit = first + v;
                    computeWindow(c, pass, pass.rowBegin + visit / pass.width(), pass.colBegin + visit % pass.width(),
                                  windows + v * windowSize, own);
                }
            });
            for (std::ptrdiff_t v = 0; v < count; ++v) {
                const std::ptrdiff_t visit = first + v;
                selectNeighbours(c, pass, pass.rowBegin + visit / pass.width(), pass.colBegin + visit % pass.width(),
                                 settings.nearest, windows + v * windowSize, graph);
            }
        }
    }
    std::free(windows);
    std::free(distances);

    pairSlots(graph);
    normalizeWeights(graph);
    return true;
}
