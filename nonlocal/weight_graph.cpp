#include "weight_graph.h"

#include "fast_math.h"

namespace {

// Index of the first of the first `count` slots of pixel g naming (i, j), or -1.
std::ptrdiff_t findSlot(const WeightGraph& graph, std::ptrdiff_t g, std::ptrdiff_t count, std::ptrdiff_t i,
                        std::ptrdiff_t j)
{
    const std::ptrdiff_t plane = planeSize(graph);
    const std::int32_t* column = graph.neighbours + g + plane;
    const std::int32_t* row = graph.neighbours + g + 2 * plane;
    for (std::ptrdiff_t k = 0; k < count; ++k)
        if (column[2 * k * plane] == j && row[2 * k * plane] == i)
            return k;
    return -1;
}

// Appends (i, j) with weight w to the list of pixel g unless the list is full
// or names (i, j) already. Returns whether the entry was made.
bool appendSlot(WeightGraph& graph, std::ptrdiff_t g, std::ptrdiff_t i, std::ptrdiff_t j, float w)
{
    const std::ptrdiff_t plane = planeSize(graph);
    const std::ptrdiff_t count = graph.neighbours[g];
    if (count >= graph.slots || findSlot(graph, g, count, i, j) >= 0)
        return false;
    graph.neighbours[g] = static_cast<std::int32_t>(count + 1);
    graph.neighbours[g + (2 * count + 1) * plane] = static_cast<std::int32_t>(j);
    graph.neighbours[g + (2 * count + 2) * plane] = static_cast<std::int32_t>(i);
    graph.weights[g + 2 * count * plane] = w;
    return true;
}

template <typename T>
void swapElements(T* data, std::ptrdiff_t a, std::ptrdiff_t b)
{
    const T t = data[a];
    data[a] = data[b];
    data[b] = t;
}

// Exchanges slots k and q of pixel g: weight, root, column and row.
void swapSlots(WeightGraph& graph, std::ptrdiff_t g, std::ptrdiff_t k, std::ptrdiff_t q)
{
    const std::ptrdiff_t plane = planeSize(graph);
    swapElements(graph.weights, g + 2 * k * plane, g + 2 * q * plane);
    swapElements(graph.weights, g + (2 * k + 1) * plane, g + (2 * q + 1) * plane);
    swapElements(graph.neighbours, g + (2 * k + 1) * plane, g + (2 * q + 1) * plane);
    swapElements(graph.neighbours, g + (2 * k + 2) * plane, g + (2 * q + 2) * plane);
}

} // namespace

void presetGraph(WeightGraph& graph, int nearest)
{
    const std::ptrdiff_t plane = planeSize(graph);
    for (std::ptrdiff_t e = 0; e < 2 * graph.slots * plane; ++e)
        graph.weights[e] = 0.0f;
    for (std::ptrdiff_t g = 0; g < plane; ++g)
        graph.neighbours[g] = nearest;
    for (std::ptrdiff_t e = plane; e < (2 * graph.slots + 1) * plane; ++e)
        graph.neighbours[e] = 0;
}

void insertNearest(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, std::ptrdiff_t k,
                   float w)
{
    const std::ptrdiff_t plane = planeSize(graph);
    const std::ptrdiff_t g = graphOffset(graph, i, j);
    graph.weights[g + 2 * k * plane] = w;
    graph.neighbours[g + (2 * k + 1) * plane] = static_cast<std::int32_t>(j + dj);
    graph.neighbours[g + (2 * k + 2) * plane] = static_cast<std::int32_t>(i + di);
}

void insertPair(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, float w)
{
    if (appendSlot(graph, graphOffset(graph, i, j), i + di, j + dj, w))
        appendSlot(graph, graphOffset(graph, i + di, j + dj), i, j, w);
}

void pairSlots(WeightGraph& graph)
{
    const std::ptrdiff_t plane = planeSize(graph);
    for (std::ptrdiff_t i = 0; i < graph.rows; ++i) {
        for (std::ptrdiff_t j = 0; j < graph.cols; ++j) {
            const std::ptrdiff_t g = graphOffset(graph, i, j);
            for (std::ptrdiff_t k = 0; k < graph.slots; ++k) {
                const std::ptrdiff_t partnerColumn = graph.neighbours[g + (2 * k + 1) * plane];
                const std::ptrdiff_t partnerRow = graph.neighbours[g + (2 * k + 2) * plane];
                const std::ptrdiff_t partner = graphOffset(graph, partnerRow, partnerColumn);
                const std::ptrdiff_t q = findSlot(graph, partner, graph.slots, i, j);
                if (q < 0) {
                    graph.weights[g + 2 * k * plane] = 0.0f;
                    graph.weights[g + (2 * k + 1) * plane] = 0.0f;
                    graph.neighbours[g + (2 * k + 1) * plane] = 0;
                    graph.neighbours[g + (2 * k + 2) * plane] = 0;
                } else if (q != k) {
                    swapSlots(graph, partner, q, k);
                }
            }
        }
    }
}

void normalizeWeights(WeightGraph& graph)
{
    const std::ptrdiff_t plane = planeSize(graph);
    for (std::ptrdiff_t g = 0; g < plane; ++g) {
        float sum = 0.0f;
        for (std::ptrdiff_t k = 0; k < graph.slots; ++k)
            sum += graph.weights[g + 2 * k * plane];
        if (static_cast<double>(sum) > 0.001) {
            for (std::ptrdiff_t k = 0; k < graph.slots; ++k) {
                float& w = graph.weights[g + 2 * k * plane];
                w = w / sum;
                graph.weights[g + (2 * k + 1) * plane] = fastSqrt(w);
            }
        }
    }
}
