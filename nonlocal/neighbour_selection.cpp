#include "nonlocal/neighbour_selection.h"

#include <algorithm>

namespace imrestore {

namespace {

constexpr int kLanes = kWindowLanes;

// Largest weight of window[begin, end), ignoring values ≤ 0 and NaN (0 if none).
float largestWeight(const float* window, std::ptrdiff_t begin, std::ptrdiff_t end)
{
    float largest = 0.0f;
    if (end - begin == kLanes) {
        for (int q = 0; q < kLanes; ++q)
            largest = window[begin + q] > largest ? window[begin + q] : largest;
        return largest;
    }
    for (std::ptrdiff_t q = begin; q < end; ++q)
        largest = window[q] > largest ? window[q] : largest;
    return largest;
}

} // namespace

void selectNeighbours(const PatchWindows& c, const WindowPass& pass, std::ptrdiff_t i, std::ptrdiff_t j, int nearest,
                      float* window, float* blockMax, WeightGraph& graph)
{
    auto at = [&](int di, int dj) -> float& { return window[(di + c.windowHalf) * c.side + (dj + c.windowHalf)]; };
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
    if (graph.counts[g] >= graph.slots)
        return;
    const std::ptrdiff_t blocks = (c.windowSize + kLanes - 1) / kLanes;
    auto blockEnd = [&](std::ptrdiff_t b) { return std::min(c.windowSize, (b + 1) * kLanes); };
    for (std::ptrdiff_t b = 0; b < blocks; ++b)
        blockMax[b] = largestWeight(window, b * kLanes, blockEnd(b));
    while (graph.counts[g] < graph.slots) {
        const float best = largestWeight(blockMax, 0, blocks);
        if (!(static_cast<double>(best) > kSmallestLinkWeight))
            break;
        std::ptrdiff_t b = 0;
        while (blockMax[b] != best)
            ++b;
        std::ptrdiff_t q = b * kLanes;
        while (window[q] != best)
            ++q;
        insertPair(graph, i, j, static_cast<int>(q / c.side) - c.windowHalf, static_cast<int>(q % c.side) - c.windowHalf, best);
        window[q] = 0.0f;
        blockMax[b] = largestWeight(window, b * kLanes, blockEnd(b));
    }
}

} // namespace imrestore
