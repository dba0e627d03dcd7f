// The nonlocal-means affinity: kernel, capacity, and the fast fill against a
// literal one, entry by entry.
#include "affinity/patch_affinity.h"
#include "simd_paths.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace imrestore;

namespace {

struct Sparse {
    std::vector<double> values;
    std::vector<std::int64_t> rows, starts;
};

Sparse build(const std::vector<double>& image, int M, int N, int p, int t, double h, int threads)
{
    const std::int64_t entries = affinityEntries(M, N, t);
    Sparse s{std::vector<double>(entries), std::vector<std::int64_t>(entries), std::vector<std::int64_t>(M * N + 1)};
    EXPECT_TRUE(buildPatchAffinity(image.data(), M, N, p, t, h, threads, s.values.data(), s.rows.data(), s.starts.data()));
    return s;
}

// Every column in order, every window pixel in order, each weight computed.
Sparse buildLiterally(const std::vector<double>& image, int M, int N, int p, int t, double h)
{
    const int Me = M + 2 * p, P = (2 * p + 1) * (2 * p + 1);
    std::vector<double> extended(static_cast<size_t>(Me) * (N + 2 * p)), kernel(P);
    std::vector<std::int32_t> offset(P);
    buildExtendedImage(image.data(), M, N, p, extended.data());
    buildPatchKernel(p, Me, h, kernel.data(), offset.data());
    Sparse s;
    for (int x = 0; x < N; ++x)
        for (int y = 0; y < M; ++y) {
            s.starts.push_back(static_cast<std::int64_t>(s.values.size()));
            for (int x2 = std::max(x - t, 0); x2 <= std::min(x + t, N - 1); ++x2)
                for (int y2 = std::max(y - t, 0); y2 <= std::min(y + t, M - 1); ++y2) {
                    const double d = patchDistance(extended.data(), (y + p) + Me * (x + p), (y2 + p) + Me * (x2 + p),
                                                   kernel.data(), offset.data(), P);
                    s.values.push_back(x2 == x && y2 == y ? 1.0 : std::exp(-d));
                    s.rows.push_back(y2 + M * x2);
                }
        }
    s.starts.push_back(static_cast<std::int64_t>(s.values.size()));
    return s;
}

std::vector<double> imageOf(int M, int N, std::uint32_t seed)
{
    const std::vector<float> f = makeTestImage(M, N, 0.2f, seed);
    return std::vector<double>(f.begin(), f.end());
}

} // namespace

TEST(PatchAffinity, KernelForRadiusOne)
{
    double kernel[9];
    std::int32_t offset[9];
    buildPatchKernel(1, 10, 1.0, kernel, offset);
    const double S = 1 + 4 * std::exp(-2.0) + 4 * std::exp(-4.0);
    EXPECT_NEAR(kernel[4], 1 / (2 * S), 1e-15);
    EXPECT_NEAR(kernel[1], std::exp(-2.0) / (2 * S), 1e-15);
    EXPECT_NEAR(kernel[0], std::exp(-4.0) / (2 * S), 1e-15);
    EXPECT_EQ(offset[0], -1 - 10);   // r = −1, s = −1
    EXPECT_EQ(offset[5], 0 + 10);    // r = 0, s = 1
    // Radius 0: one weight, 1/(2h²), not 0/0.
    buildPatchKernel(0, 3, 2.0, kernel, offset);
    EXPECT_EQ(kernel[0], 1.0 / 8.0);
    EXPECT_EQ(mirrorIndex(-1, 5), 1);
    EXPECT_EQ(mirrorIndex(5, 5), 3);
}

TEST(PatchAffinity, EntriesOfTheCutWindows)
{
    EXPECT_EQ(affinityEntries(3, 1, 3000), 9);   // every pixel sees the whole image
    EXPECT_EQ(affinityEntries(2, 5, 3), 4 * 23);   // heights 2 + 2, widths 4 + 5 + 5 + 5 + 4
    EXPECT_EQ(affinityEntries(20, 30, 0), 600);
}

TEST(PatchAffinity, MatchesTheLiteralFillEntryByEntry)
{
    forEachSimdPath([&] {
        struct Case {
            int M, N, p, t;
        };
        // Defaults, a window over the whole image, no window, one-pixel patches, thin images.
        const Case cases[] = {{20, 30, 3, 6}, {9, 7, 2, 20}, {12, 10, 1, 0}, {15, 17, 0, 3}, {4, 40, 3, 5}, {33, 2, 1, 9}};
        std::uint32_t seed = 3;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.M << "x" << c.N << " p " << c.p << " t " << c.t);
            const std::vector<double> image = imageOf(c.M, c.N, seed++);
            const Sparse expected = buildLiterally(image, c.M, c.N, c.p, c.t, 0.3);
            for (int threads : {1, 3}) {
                const Sparse got = build(image, c.M, c.N, c.p, c.t, 0.3, threads);
                EXPECT_EQ(got.starts, expected.starts);
                EXPECT_EQ(got.rows, expected.rows);
                EXPECT_EQ(got.values, expected.values);
            }
        }
    });
}

TEST(PatchAffinity, Structure)
{
    const int M = 20, N = 24;
    const Sparse s = build(imageOf(M, N, 9), M, N, 3, 6, 0.2, 2);
    // Interior column 169 entries, corner 49; the matrix equals its transpose.
    const int interior = 10 + M * 12;
    EXPECT_EQ(s.starts[interior + 1] - s.starts[interior], 169);
    EXPECT_EQ(s.starts[1] - s.starts[0], 49);
    for (int j = 0; j < M * N; ++j)
        for (std::int64_t e = s.starts[j]; e < s.starts[j + 1]; ++e) {
            const std::int64_t i = s.rows[e];
            const auto begin = s.rows.begin() + s.starts[i], end = s.rows.begin() + s.starts[i + 1];
            const auto back = std::lower_bound(begin, end, j);
            ASSERT_TRUE(back != end && *back == j);
            ASSERT_EQ(s.values[back - s.rows.begin()], s.values[e]);
            if (i == j) {
                ASSERT_EQ(s.values[e], 1.0);
            }
        }
    // A constant image: every weight is 1, also with one-pixel patches.
    for (int p : {0, 2}) {
        const Sparse flat = build(std::vector<double>(M * N, 0.4), M, N, p, 3, 0.1, 1);
        for (double v : flat.values) {
            ASSERT_EQ(v, 1.0);
        }
    }
    // One-pixel patches: exp(−(I(i) − I(j))²/(2h²)).
    const std::vector<double> two = {0.0, 0.5};
    const Sparse pair = build(two, 2, 1, 0, 1, 0.5, 1);
    EXPECT_EQ(pair.values, (std::vector<double>{1.0, std::exp(-(0.25 * (1.0 / 0.5))), std::exp(-(0.25 * (1.0 / 0.5))), 1.0}));
}
