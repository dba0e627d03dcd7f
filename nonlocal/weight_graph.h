// The weight graph of an M×N image: K slots per pixel, each naming another
// pixel of the image with a weight.
#pragma once

#include <cstddef>
#include <cstdint>

// Graph addressing: pixel (i, j) has offset g = j + N·i, and plane p of it is
// element g + M·N·p, so a plane runs along image rows (host dims [N, M, planes]).
//   weights:    2K planes; plane 2k holds the weight of slot k, plane 2k+1 its
//               fastSqrt root (0 while the pixel is not normalised).
//   neighbours: 2K+1 planes; plane 0 counts the slots filled while building,
//               plane 2k+1 holds the column and plane 2k+2 the row of slot k.
// An empty slot holds weight 0, root 0 and the coordinates (0, 0).
// The graph does not own its arrays.
struct WeightGraph {
    std::ptrdiff_t rows;    // M
    std::ptrdiff_t cols;    // N
    std::ptrdiff_t slots;   // K
    float* weights;
    std::int32_t* neighbours;
};

inline std::ptrdiff_t planeSize(const WeightGraph& graph) { return graph.rows * graph.cols; }
inline std::ptrdiff_t graphOffset(const WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j)
{
    return j + graph.cols * i;
}

// Sets every weight, root and coordinate to 0 and every count to `nearest`.
void presetGraph(WeightGraph& graph, int nearest);

// Writes slot k of pixel (i, j): weight w and neighbour (i+di, j+dj).
// No duplicate test, no reverse entry, count and root untouched.
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

// Divides each pixel's weights by their single-precision sum when that sum is
// above 0.001, and stores the fastSqrt of each normalised weight as its root.
void normalizeWeights(WeightGraph& graph);
