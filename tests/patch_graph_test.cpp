#include "common/fast_math.h"
#include "graph_fixture.h"
#include "nonlocal/patch_graph.h"
#include "reference_patch_graph.h"
#include "simd_paths.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>
#include <tuple>

using namespace imrestore;

namespace {

struct Case {
    int rows, cols;
    PatchGraphSettings s;
};

OwnedArrays buildFast(const std::vector<float>& image, const std::vector<float>& kernel, const Case& c, int threads)
{
    OwnedArrays g(c.rows, c.cols, c.s.nearest + c.s.best);
    EXPECT_TRUE(buildPatchGraph(image.data(), kernel.data(), c.s, threads, g.arrays));
    return g;
}

OwnedArrays buildReference(const std::vector<float>& image, const std::vector<float>& kernel, const Case& c)
{
    OwnedArrays g(c.rows, c.cols, c.s.nearest + c.s.best);
    buildReferencePatchGraph(image.data(), kernel.data(), c.s, g.arrays);
    return g;
}

void expectSameBits(const OwnedArrays& a, const OwnedArrays& b)
{
    ASSERT_EQ(a.weights.size(), b.weights.size());
    ASSERT_EQ(a.neighbours.size(), b.neighbours.size());
    if (!a.weights.empty()) {
        EXPECT_EQ(0, std::memcmp(a.weights.data(), b.weights.data(), a.weights.size() * sizeof(float)));
    }
    EXPECT_EQ(a.neighbours, b.neighbours);
}

} // namespace

TEST(PatchGraph, MatchesTheLiteralConstructionBitForBit)
{
    const Case cases[] = {
        {24, 31, {5, 11, 4, 10, 0.05f}},   // interior and all four bands
        {17, 20, {3, 7, 0, 6, 0.02f}},     // nearest = 0
        {12, 9, {4, 4, 4, 3, 0.1f}},       // even sides act as 3
        {7, 30, {5, 9, 4, 8, 0.05f}},      // M < 2·ic1: rows visited twice
        {30, 6, {3, 9, 0, 5, 0.05f}},      // N < 2·ic1: columns visited twice
        {6, 6, {3, 7, 4, 12, 0.05f}},      // M = N = ic1: no interior, whole image in both bands
        {9, 13, {1, 5, 4, 0, 0.05f}},      // best = 0: nearest neighbours only
        {9, 13, {1, 3, 0, 0, 0.05f}},      // K = 0
        {1, 1, {1, 1, 0, 3, 0.05f}},       // one pixel, no candidate
        {16, 16, {5, 11, 4, 10, 1e-6f}},   // tiny h: most weights underflow
        {45, 37, {5, 11, 4, 10, 0.05f}},   // interior of 31 rows: two stripes, the second overlapping
        {70, 52, {3, 35, 0, 12, 0.05f}},   // a window reaching more than one stripe ahead
        {36, 40, {4, 9, 4, 6, 0.03f}},     // even patch side in the stripe interior
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << " patch " << c.s.patchSide << " window "
                                        << c.s.windowSide << " nearest " << c.s.nearest << " best " << c.s.best);
        const auto image = makeTestImage(c.rows, c.cols, 0.1f, c.rows * 100 + c.cols);
        const auto kernel = makeGaussianKernel(c.s.patchSide, 1.0f);
        const auto reference = buildReference(image, kernel, c);
        forEachSimdPath([&] { expectSameBits(buildFast(image, kernel, c, 1), reference); });
    }
}

TEST(PatchGraph, ExtremeValuesMatchTheLiteralConstruction)
{
    // Negative kernel weights give positive exponents (saturated weights),
    // a NaN pixel gives NaN distances (weight 0), huge values overflow the sums.
    const Case c{40, 36, {3, 9, 4, 8, 0.01f}};
    auto image = makeTestImage(c.rows, c.cols, 0.1f, 3);
    image[20 + 40 * 17] = std::numeric_limits<float>::quiet_NaN();
    image[5 + 40 * 30] = 3e38f;
    image[33 + 40 * 2] = -std::numeric_limits<float>::infinity();
    auto kernel = makeGaussianKernel(3, 1.0f);
    kernel[1] = -40.0f;
    kernel[5] = -0.5f;
    const auto reference = buildReference(image, kernel, c);
    forEachSimdPath([&] { expectSameBits(buildFast(image, kernel, c, 2), reference); });
}

TEST(PatchGraph, ThreadCountDoesNotChangeTheGraph)
{
    const Case c{61, 47, {5, 11, 4, 10, 0.05f}};
    const auto image = makeTestImage(c.rows, c.cols, 0.1f);
    const auto kernel = makeGaussianKernel(5, 1.5f);
    const OwnedArrays one = buildFast(image, kernel, c, 1);
    for (int threads : {2, 3, 8})
        expectSameBits(one, buildFast(image, kernel, c, threads));
}

TEST(PatchGraph, HandWorkedThreePixelRow)
{
    // Image [0 0 1], one-pixel patches, 3×3 window, best 2: every pixel is in
    // band 0 and again in band 1 (M = 1 < 2·ic1).
    const std::vector<float> image = {0.0f, 0.0f, 1.0f}, kernel = {1.0f};
    const Case c{1, 3, {1, 3, 0, 2, 1.0f}};
    const OwnedArrays g = buildFast(image, kernel, c, 1);
    const float same = fastExp(-0.0), step = fastExp(-1.0);
    EXPECT_EQ(g.count(0, 0), 1);
    EXPECT_EQ(g.count(0, 1), 2);
    EXPECT_EQ(g.count(0, 2), 1);
    // (0,0) <-> (0,1) with fastExp(0); (0,1) <-> (0,2) with fastExp(-1), moved to slot 1 of (0,2).
    EXPECT_EQ(g.neighbour(0, 0, 0), Cell(0, 1));
    EXPECT_EQ(g.weight(0, 0, 0), 1.0f);
    EXPECT_EQ(g.root(0, 0, 0), fastSqrt(1.0f));
    EXPECT_TRUE(g.isEmpty(0, 0, 1));
    const float sum = same + step;
    EXPECT_EQ(g.neighbour(0, 1, 0), Cell(0, 0));
    EXPECT_EQ(g.weight(0, 1, 0), same / sum);
    EXPECT_EQ(g.neighbour(0, 1, 1), Cell(0, 2));
    EXPECT_EQ(g.weight(0, 1, 1), step / sum);
    EXPECT_EQ(g.root(0, 1, 1), fastSqrt(step / sum));
    EXPECT_TRUE(g.isEmpty(0, 2, 0));
    EXPECT_EQ(g.neighbour(0, 2, 1), Cell(0, 1));
    EXPECT_EQ(g.weight(0, 2, 1), 1.0f);
}

TEST(PatchGraph, IdenticalPatchesWeighFastExpOfZero)
{
    // A constant image: every candidate has D = 0; with best = 1 and nearest = 0
    // each pixel links to its first candidate in scan order (up-left).
    const Case c{5, 5, {3, 3, 4, 0, 0.5f}};
    const std::vector<float> image(25, 0.5f), kernel(9, 1.0f);
    OwnedArrays g(5, 5, 4);
    ASSERT_TRUE(buildPatchGraph(image.data(), kernel.data(), c.s, 1, g.arrays));
    // Interior pixel (2,2): four nearest slots, raw weights all fastExp(0), normalised to 1/4.
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(g.weight(2, 2, k), fastExp(0.0) / (fastExp(0.0) * 4));
}

TEST(PatchGraph, FinishedGraphKeepsItsInvariants)
{
    for (int nearest : {0, 4}) {
        const Case c{48, 64, {5, 11, nearest, 10, 0.02f}};
        const auto image = makeTestImage(c.rows, c.cols, 0.08f, 7);
        const auto kernel = makeGaussianKernel(5, 1.0f);
        const OwnedArrays g = buildFast(image, kernel, c, 2);
        const int K = nearest + 10;
        for (int i = 0; i < c.rows; ++i) {
            for (int j = 0; j < c.cols; ++j) {
                std::set<std::pair<int, int>> named;
                int filled = 0;
                float sum = 0.0f;
                bool normalised = false;
                for (int k = 0; k < K; ++k) {
                    sum += g.weight(i, j, k);
                    normalised |= g.root(i, j, k) > 0.0f;
                    if (g.isEmpty(i, j, k))
                        continue;
                    ++filled;
                    const auto other = g.neighbour(i, j, k);
                    EXPECT_NE(other, std::make_pair(i, j)) << "self link";
                    EXPECT_TRUE(named.insert(other).second) << "duplicate link";
                    if (i == 0 && j == 0)
                        continue;
                    bool mutual = false;
                    for (int q = 0; q < K; ++q)
                        mutual |= g.neighbour(other.first, other.second, q) == std::make_pair(i, j) &&
                                  !g.isEmpty(other.first, other.second, q);
                    EXPECT_TRUE(mutual) << "(" << i << "," << j << ") slot " << k;
                }
                EXPECT_GE(g.count(i, j), filled);
                EXPECT_LE(g.count(i, j), K);
                if (normalised) {
                    EXPECT_NEAR(sum, 1.0f, 1e-5f) << i << "," << j;
                } else {
                    EXPECT_LE(sum, 0.001f) << i << "," << j;
                }
            }
        }
    }
}
