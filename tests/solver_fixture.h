// Graphs and data for the solver tests.
#pragma once

#include "graph_fixture.h"
#include "nonlocal/graph_solvers.h"
#include "nonlocal/patch_graph.h"
#include "test_images.h"

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace imrestore {

inline GraphInput inputOf(const OwnedArrays& a)
{
    return {a.arrays.rows, a.arrays.cols, a.arrays.slots, a.weights.data(), a.neighbours.data()};
}

// The patch graph of a noisy test image.
inline OwnedArrays makePatchGraph(int M, int N, int patchSide, int windowSide, int nearest, int best)
{
    const std::vector<float> image = makeTestImage(M, N, 0.1f);
    const std::vector<float> kernel = makeGaussianKernel(patchSide, 1.0f);
    OwnedArrays graph(M, N, nearest + best);
    if (!buildPatchGraph(image.data(), kernel.data(), {patchSide, windowSide, nearest, best, 0.05f}, 2, graph.arrays))
        throw std::bad_alloc();
    return graph;
}

// A graph whose slots name random pixels up to `reach` rows and columns away
// (any pixel when reach < 0), with random weights and roots, some of them 0,
// and some empty slots (weight 0, pixel (0, 0)).
inline OwnedArrays makeRandomGraph(int M, int N, int K, int reach, std::uint32_t seed)
{
    OwnedArrays graph(M, N, K);
    std::mt19937 random(seed);
    const std::ptrdiff_t P = graph.plane();
    auto pick = [&](int centre, int size) {
        if (reach < 0)
            return static_cast<int>(random() % size);
        const int low = std::max(0, centre - reach), high = std::min(size - 1, centre + reach);
        return low + static_cast<int>(random() % (high - low + 1));
    };
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            for (int k = 0; k < K; ++k) {
                const std::ptrdiff_t g = graph.offset(i, j);
                const unsigned kind = random() % 8;
                if (kind == 0)
                    continue;   // empty slot
                graph.neighbours[g + (2 * k + 1) * P] = pick(j, N);
                graph.neighbours[g + (2 * k + 2) * P] = pick(i, M);
                graph.weights[g + 2 * k * P] = kind == 1 ? 0.0f : uniform(random);
                graph.weights[g + (2 * k + 1) * P] = kind == 2 ? 0.0f : uniform(random);
            }
    return graph;
}

// Equal bit for bit, except that any two NaNs are equal: which NaN an
// operation on two NaNs returns depends on its operand order, which the
// compiler may swap in commutative operations.
inline bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t p = 0; p < a.size(); ++p)
        if (std::memcmp(&a[p], &b[p], sizeof(float)) != 0 && !(std::isnan(a[p]) && std::isnan(b[p])))
            return false;
    return true;
}

} // namespace imrestore
