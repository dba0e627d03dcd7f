// The weight graph of an M×N image: K slots per pixel, each naming another
// pixel of the image with a weight.
#pragma once

#include "common/stop_check.h"
#include "common/work_memory.h"
#include "nonlocal/graph_view.h"

#include <cstddef>
#include <cstdint>

namespace imrestore {

// The graph while it is built, with the K slots of a pixel side by side:
// slot k of the pixel with graph offset g is entry g·K + k of `links` (the
// graph offset j′ + N·i′ of the neighbour; 0, pixel (0, 0), when empty) and of
// `weights`. `normalised` marks the pixels whose weights were normalised.
// Every scan for a pixel compares offsets, which is comparing both coordinates.
// Offsets are 32-bit: M·N must stay below 2^31.
struct WeightGraph {
    std::ptrdiff_t rows, cols, slots;
    WorkArray<std::int32_t> counts;
    WorkArray<std::int32_t> links;
    WorkArray<float> weights;
    WorkArray<unsigned char> normalised;
};

inline std::ptrdiff_t graphOffset(const WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j)
{
    return j + graph.cols * i;
}

// Allocates the arrays of an M×N graph with K slots per pixel (owned by the
// graph); false (nothing allocated) when memory is short.
bool allocateWeightGraph(std::ptrdiff_t rows, std::ptrdiff_t cols, std::ptrdiff_t slots, WeightGraph* graph);

// Empties every slot and sets every count to `nearest`, polling `stop`
// between slices of pixels (a large graph takes a second to touch); false
// when it said stop.
bool presetGraph(WeightGraph& graph, int nearest, StopCheck* stop = nullptr);

// Writes slot k of pixel (i, j): weight w and neighbour (i+di, j+dj).
// No duplicate test, no reverse entry, the count untouched.
void insertNearest(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, std::ptrdiff_t k,
                   float w);

// Appends B = (i+di, j+dj) to the list of A = (i, j) and then A to the list of
// B, both with weight w. Each entry is skipped when its list is full or already
// names the pixel; the reverse entry is tried only after the forward one was made.
void insertPair(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, float w);

// Visits every slot (rows, then columns, then slots) and moves the partner's
// first slot naming the owner to the same index, or empties the slot when the
// partner names the owner nowhere. Empty slots count as naming pixel (0, 0).
void pairSlots(WeightGraph& graph);

// The weight a candidate neighbour must exceed to take a slot, and the sum
// of a pixel's weights above which they are normalised (compared in double).
const double kSmallestLinkWeight = 0.001;
const double kSmallestWeightSum = 0.001;

// Divides each pixel's weights by their single-precision sum when that sum is
// above kSmallestWeightSum, and marks the pixel normalised.
void normalizeWeights(WeightGraph& graph);

// Writes the graph into the host's arrays (M, N and K equal to the graph's):
// counts, coordinates, weights, and the fastSqrt of every weight of a
// normalised pixel as its root (0 for the other pixels). Writes every
// element of both arrays, so they may come uninitialised. Polls `stop`
// before each slot's planes; false when it said stop.
bool storeGraph(const WeightGraph& graph, GraphArrays& arrays, StopCheck* stop = nullptr);

} // namespace imrestore
