// Owned graphs with readable accessors, for tests.
#pragma once

#include "nonlocal/weight_graph.h"

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace imrestore {

using Cell = std::pair<int, int>;   // (row, column)

// A graph in the host's layout.
struct OwnedArrays {
    std::vector<float> weights;
    std::vector<std::int32_t> neighbours;
    GraphArrays arrays;

    OwnedArrays(std::ptrdiff_t rows, std::ptrdiff_t cols, std::ptrdiff_t slots)
        : weights(static_cast<size_t>(2 * slots * rows * cols)),
          neighbours(static_cast<size_t>((2 * slots + 1) * rows * cols)),
          arrays{rows, cols, slots, weights.data(), neighbours.data()}
    {
    }

    std::ptrdiff_t plane() const { return arrays.rows * arrays.cols; }
    std::ptrdiff_t offset(int i, int j) const { return j + arrays.cols * i; }
    std::int32_t count(int i, int j) const { return neighbours[offset(i, j)]; }
    float weight(int i, int j, int k) const { return weights[offset(i, j) + 2 * k * plane()]; }
    float root(int i, int j, int k) const { return weights[offset(i, j) + (2 * k + 1) * plane()]; }
    Cell neighbour(int i, int j, int k) const
    {
        return {neighbours[offset(i, j) + (2 * k + 2) * plane()], neighbours[offset(i, j) + (2 * k + 1) * plane()]};
    }
    bool isEmpty(int i, int j, int k) const
    {
        return weight(i, j, k) == 0.0f && root(i, j, k) == 0.0f && neighbour(i, j, k) == Cell(0, 0);
    }
};

// A graph under construction.
struct OwnedGraph {
    WeightGraph graph;

    OwnedGraph(std::ptrdiff_t rows, std::ptrdiff_t cols, std::ptrdiff_t slots)
    {
        if (!allocateWeightGraph(rows, cols, slots, &graph))
            throw std::bad_alloc();
    }

    std::ptrdiff_t entry(int i, int j, int k) const { return (j + graph.cols * i) * graph.slots + k; }
    std::int32_t count(int i, int j) const { return graph.counts[j + graph.cols * i]; }
    float& weight(int i, int j, int k) { return graph.weights[entry(i, j, k)]; }
    float weight(int i, int j, int k) const { return graph.weights[entry(i, j, k)]; }
    Cell neighbour(int i, int j, int k) const
    {
        const std::int32_t link = graph.links[entry(i, j, k)];
        return {static_cast<int>(link / graph.cols), static_cast<int>(link % graph.cols)};
    }
    bool isEmpty(int i, int j, int k) const { return weight(i, j, k) == 0.0f && neighbour(i, j, k) == Cell(0, 0); }

    OwnedArrays store() const
    {
        OwnedArrays arrays(graph.rows, graph.cols, graph.slots);
        storeGraph(graph, arrays.arrays);
        return arrays;
    }
};

} // namespace imrestore
