// A weight graph that owns its arrays, for tests.
#pragma once

#include "weight_graph.h"

#include <cstdint>
#include <utility>
#include <vector>

struct OwnedGraph {
    std::vector<float> weights;
    std::vector<std::int32_t> neighbours;
    WeightGraph graph;

    OwnedGraph(std::ptrdiff_t rows, std::ptrdiff_t cols, std::ptrdiff_t slots)
        : weights(static_cast<size_t>(2 * slots * rows * cols)),
          neighbours(static_cast<size_t>((2 * slots + 1) * rows * cols)),
          graph{rows, cols, slots, weights.data(), neighbours.data()}
    {
    }

    std::ptrdiff_t plane() const { return graph.rows * graph.cols; }
    std::ptrdiff_t offset(int i, int j) const { return j + graph.cols * i; }
    std::int32_t count(int i, int j) const { return neighbours[offset(i, j)]; }
    float weight(int i, int j, int k) const { return weights[offset(i, j) + 2 * k * plane()]; }
    float root(int i, int j, int k) const { return weights[offset(i, j) + (2 * k + 1) * plane()]; }
    // (row, column) named by slot k of (i, j)
    std::pair<int, int> neighbour(int i, int j, int k) const
    {
        return {neighbours[offset(i, j) + (2 * k + 2) * plane()], neighbours[offset(i, j) + (2 * k + 1) * plane()]};
    }
    bool isEmpty(int i, int j, int k) const
    {
        return weight(i, j, k) == 0.0f && root(i, j, k) == 0.0f && neighbour(i, j, k) == std::make_pair(0, 0);
    }
};
