// The ROF denoiser's routines: the shrink examples, the sweep against a
// literal version and by hand, the stopping rule.
#include "reference_rof.h"
#include "simd_paths.h"
#include "tv/rof_denoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

using namespace imrestore;

namespace {

// Fields of an N-column, M-row problem.
struct Fields {
    RofFields s{};
    Fields(std::ptrdiff_t N, std::ptrdiff_t M)
    {
        bool ok = newColumnMatrix(N, M, &s.u) && newColumnMatrix(N - 1, M, &s.dx) && newColumnMatrix(N, M - 1, &s.dy) &&
                  newColumnMatrix(N - 1, M, &s.bx) && newColumnMatrix(N, M - 1, &s.by) &&
                  newColumnMatrix(N, M, &s.scaledData) && newColumnMatrix(N, M, &s.divergence);
        if (!ok)
            throw std::bad_alloc();
    }
    void fillRandomly(std::uint32_t seed)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        for (ColumnMatrix* m : {&s.u, &s.dx, &s.dy, &s.bx, &s.by, &s.scaledData})
            for (std::ptrdiff_t x = 0; x < m->columns; ++x)
                for (std::ptrdiff_t y = 0; y < m->rows; ++y)
                    m->column[x][y] = value(random);
    }
    std::vector<double> values() const
    {
        std::vector<double> all;
        for (std::ptrdiff_t x = 0; x < s.u.columns; ++x)
            all.insert(all.end(), s.u.column[x], s.u.column[x] + s.u.rows);
        return all;
    }
};

} // namespace

TEST(RofShrink, IsotropicAndScalarThresholds)
{
    // μ = 1: λ = 2, τ = 0.5. With u = 0 the shrink sees the Bregman fields alone.
    Fields f(3, 3);
    double** bx = f.s.bx.column;
    double** by = f.s.by.column;
    bx[0][0] = 1.5;  by[0][0] = 2.0;    // s = 2.5, q = 0.8
    bx[1][0] = 0.5;  by[1][0] = 0.0;    // s2 = τ²: the square-root branch, q = 0
    bx[0][1] = 0.25; by[0][1] = 0.25;   // s2 = 0.125: the zero branch
    bx[0][2] = 0.75; bx[1][2] = -0.75;  // last row: soft thresholds
    by[2][0] = 0.5;  by[2][1] = -0.5;   // last column
    shrinkGradient(f.s, 2.0);
    EXPECT_NEAR(f.s.dx.column[0][0], 1.2, 1e-15);
    EXPECT_EQ(f.s.dy.column[0][0], 1.6);
    for (auto [x, y] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{1, 1}}) {
        EXPECT_EQ(f.s.dx.column[x][y], 0.0);
        EXPECT_EQ(f.s.dy.column[x][y], 0.0);
    }
    EXPECT_EQ(f.s.dx.column[0][2], 0.25);
    EXPECT_EQ(f.s.dx.column[1][2], -0.25);
    EXPECT_EQ(f.s.dy.column[2][0], 0.0);
    EXPECT_EQ(f.s.dy.column[2][1], 0.0);
}

TEST(RofSweep, MatchesTheLiteralSweepOnEveryShape)
{
    forEachSimdPath([&] {
        // 2×2 (corners only), thin images, and widths that leave partial wavefront bands.
        const std::pair<int, int> shapes[] = {{2, 2},   {2, 9},   {9, 2},   {3, 3},    {3, 17},  {37, 29},
                                              {10, 8},  {18, 40}, {40, 50}, {70, 45},  {45, 100}, {131, 20}};
        std::uint32_t seed = 1;
        for (auto [N, M] : shapes) {
            SCOPED_TRACE(testing::Message() << N << " columns, " << M << " rows");
            Fields fast(N, M), literal(N, M);
            literal.s.kernels = &simd::kernelsFor(SimdPath::none);   // the shrink's scalar twin
            fast.s.threads = 3;   // the per-pixel passes split by columns (from 64 on)
            fast.fillRandomly(seed);
            literal.fillRandomly(seed++);
            for (int sweep = 0; sweep < 3; ++sweep) {
                gaussSeidelSweep(fast.s, 0.7, 1.4);
                shrinkGradient(fast.s, 1.4);
                updateBregmanX(fast.s);
                updateBregmanY(fast.s);
                referenceGaussSeidelSweep(literal.s, 0.7, 1.4);
                shrinkGradient(literal.s, 1.4);
                updateBregmanX(literal.s);
                updateBregmanY(literal.s);
            }
            EXPECT_EQ(fast.values(), literal.values());
        }
    });
}

TEST(RofSweep, ThreeByThreeByHand)
{
    // Zero fields: only the neighbour sums and the data act. μ = 1, λ = 2.
    Fields f(3, 3);
    double** u = f.s.u.column;
    const double start[3][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};   // start[x][y]
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y) {
            u[x][y] = start[x][y];
            f.s.scaledData.column[x][y] = 1.0 * start[x][y];
        }
    gaussSeidelSweep(f.s, 1.0, 2.0);
    auto step = [](double sum, double data, int k) { return (sum * 2.0 + data) / (1.0 + k * 2.0); };
    const double c11 = ((6.0 + 2.0 + 8.0 + 4.0) * 2.0 + 5.0) * (1.0 / 9.0);
    const double c01 = step(c11 + 3.0 + 1.0, 2.0, 3);                // first column: u(1,1) + u(0,2) + u(0,0)
    const double c21 = step(c11 + 9.0 + 7.0, 8.0, 3);                // last column
    const double c10 = step(7.0 + 1.0 + c11, 4.0, 3);                // first row: u(2,0) + u(0,0) + u(1,1)
    const double c12 = step(9.0 + 3.0 + c11, 6.0, 3);                // last row: u(2,2) + u(0,2) + u(1,1)
    const double c00 = step(c10 + c01, 1.0, 2);
    const double c20 = step(c10 + c21, 7.0, 2);
    const double c02 = step(c12 + c01, 3.0, 2);
    const double c22 = step(c12 + c21, 9.0, 2);
    EXPECT_EQ(u[1][1], c11);
    EXPECT_EQ(u[0][1], c01);
    EXPECT_EQ(u[2][1], c21);
    EXPECT_EQ(u[1][0], c10);
    EXPECT_EQ(u[1][2], c12);
    EXPECT_EQ(u[0][0], c00);
    EXPECT_EQ(u[2][0], c20);
    EXPECT_EQ(u[0][2], c02);
    EXPECT_EQ(u[2][2], c22);
}

TEST(RofDenoise, StoppingRule)
{
    // The first check compares with an all-zero previous iterate: +∞, or 0/0.
    Fields f(4, 4);
    ColumnMatrix previous{};
    ASSERT_TRUE(newColumnMatrix(4, 4, &previous));
    EXPECT_TRUE(std::isnan(relativeChange(f.s.u, previous)));
    f.s.u.column[2][3] = 1.0;
    EXPECT_EQ(relativeChange(f.s.u, previous), std::numeric_limits<double>::infinity());
    EXPECT_EQ(previous.column[2][3], 1.0);

    // An all-zero image comes back all zero; a constant one unchanged up to rounding.
    std::vector<double> zeros(30, 0.0), constant(30, 0.37), out(30, 1.0);
    ASSERT_TRUE(denoiseRof(zeros.data(), 5, 6, 0.5, 1e-6, out.data()));
    EXPECT_EQ(out, zeros);
    ASSERT_TRUE(denoiseRof(constant.data(), 5, 6, 0.5, 1e-6, out.data()));
    for (double v : out)
        EXPECT_NEAR(v, 0.37, 1e-12);
}
