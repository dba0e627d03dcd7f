// The finished weight graph as the host holds it: two arrays of planes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imrestore {

// Graph addressing: pixel (i, j) has offset g = j + N·i, and plane p of it is
// element g + M·N·p, so a plane runs along image rows (host dims [N, M, planes]).
//   weights:    2K planes; weightPlane(k) holds the weight of slot k,
//               rootPlane(k) its fastSqrt root (0 when the pixel was not normalised).
//   neighbours: 2K+1 planes; countPlane() counts the slots filled while
//               building, columnPlane(k) and rowPlane(k) locate slot k's neighbour.
// An empty slot holds weight 0, root 0 and the coordinates (0, 0).
// GraphArrays is what the builder fills, GraphInput what the solvers read.
template <class Weight, class Index>
struct GraphPlanes {
    std::ptrdiff_t rows;    // M
    std::ptrdiff_t cols;    // N
    std::ptrdiff_t slots;   // K
    Weight* weights;
    Index* neighbours;

    std::ptrdiff_t pixels() const { return rows * cols; }
    Weight* weightPlane(std::ptrdiff_t k) const { return weights + 2 * k * pixels(); }
    Weight* rootPlane(std::ptrdiff_t k) const { return weights + (2 * k + 1) * pixels(); }
    Index* countPlane() const { return neighbours; }
    Index* columnPlane(std::ptrdiff_t k) const { return neighbours + (2 * k + 1) * pixels(); }
    Index* rowPlane(std::ptrdiff_t k) const { return neighbours + (2 * k + 2) * pixels(); }
};

using GraphArrays = GraphPlanes<float, std::int32_t>;
using GraphInput = GraphPlanes<const float, const std::int32_t>;

} // namespace imrestore
