// The graph solvers against their worked examples and against the literal,
// row-by-row versions.
#include "nonlocal/reused_schedule.h"
#include "reference_graph_solvers.h"
#include "solver_fixture.h"
#include "simd_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace imrestore;

namespace {

// Two pixels, each naming the other in slot 0 with weight 1 and root 1.
OwnedArrays makePairGraph()
{
    OwnedArrays graph(1, 2, 1);
    graph.weights = {1, 1, 1, 1};
    graph.neighbours = {1, 1, 1, 0, 0, 0};   // counts, columns (1, 0), rows (0, 0)
    return graph;
}

struct TvRun {
    std::vector<float> u, d, b, progress;
};

// Runs the iterations on (u, d, b) in place, or with `apart` into arrays of
// their own (filled with NaN first), which then replace u, d and b; the
// starting arrays must stay as they were.
std::vector<float> progressOf(const OwnedArrays& graph, std::vector<float>& u, std::vector<float>& d,
                              std::vector<float>& b, const std::vector<float>& f, NonlocalTvSettings s, int threads,
                              bool apart = false)
{
    std::vector<float> progress;
    auto record = [](float change, void* context) { static_cast<std::vector<float>*>(context)->push_back(change); };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> u0 = u, d0 = d, b0 = b;
    std::vector<float> u1(u.size(), nan), d1(d.size(), nan), b1(b.size(), nan);
    const NonlocalTvFields fields = apart ? NonlocalTvFields{u.data(), d.data(), b.data(), u1.data(), d1.data(), b1.data()}
                                         : NonlocalTvFields{u.data(), d.data(), b.data(), u.data(), d.data(), b.data()};
    EXPECT_TRUE(solveNonlocalTv(fields, f.data(), inputOf(graph), KeptLayout::unchecked, s, threads, record, &progress));
    if (apart) {
        EXPECT_TRUE(sameBits(u, u0) && sameBits(d, d0) && sameBits(b, b0));
        u.swap(u1);
        d.swap(d1);
        b.swap(b1);
    }
    return progress;
}

TvRun runTv(const OwnedArrays& graph, const std::vector<float>& u0, const std::vector<float>& f,
            NonlocalTvSettings s, int threads = 1)
{
    const size_t fields = static_cast<size_t>(graph.plane() * graph.arrays.slots);
    TvRun run{u0, std::vector<float>(fields, 0.0f), std::vector<float>(fields, 0.0f), {}};
    run.progress = progressOf(graph, run.u, run.d, run.b, f, s, threads);
    return run;
}

TvRun runReferenceTv(const OwnedArrays& graph, const std::vector<float>& u0, const std::vector<float>& f,
                     NonlocalTvSettings s)
{
    const size_t fields = static_cast<size_t>(graph.plane() * graph.arrays.slots);
    TvRun run{u0, std::vector<float>(fields, 0.0f), std::vector<float>(fields, 0.0f), {}};
    run.progress = referenceNonlocalTv(run.u.data(), run.d.data(), run.b.data(), f.data(), inputOf(graph), s);
    return run;
}

void expectSameRun(const TvRun& a, const TvRun& b)
{
    EXPECT_TRUE(sameBits(a.u, b.u));
    EXPECT_TRUE(sameBits(a.d, b.d));
    EXPECT_TRUE(sameBits(a.b, b.b));
    EXPECT_TRUE(sameBits(a.progress, b.progress));
}

std::vector<float> runH1(const OwnedArrays& graph, const std::vector<float>& f, float mu, int nOuter)
{
    std::vector<float> u = f;
    EXPECT_TRUE(solveNonlocalH1(u.data(), f.data(), inputOf(graph), KeptLayout::unchecked, mu, nOuter, 2));
    return u;
}

std::vector<float> runReferenceH1(const OwnedArrays& graph, const std::vector<float>& f, float mu, int nOuter)
{
    std::vector<float> u = f;
    referenceNonlocalH1(u.data(), f.data(), inputOf(graph), mu, nOuter);
    return u;
}

} // namespace

TEST(NonlocalTv, WorkedExampleWithoutShrinkIsExact)
{
    const OwnedArrays graph = makePairGraph();
    const TvRun one = runTv(graph, {0, 1}, {0, 1}, {1.0f, 1.0f, 1});
    EXPECT_EQ(one.u, (std::vector<float>{3.0f / 8, 11.0f / 16}));
    EXPECT_EQ(one.d, (std::vector<float>{0, 0}));
    EXPECT_EQ(one.b, (std::vector<float>{5.0f / 16, -5.0f / 16}));
    EXPECT_EQ(one.progress, (std::vector<float>{static_cast<float>(std::sqrt(61.0 / 512))}));

    const TvRun two = runTv(graph, {0, 1}, {0, 1}, {1.0f, 1.0f, 2});
    EXPECT_EQ(two.u, (std::vector<float>{73.0f / 128, 121.0f / 256}));
    EXPECT_EQ(two.d, (std::vector<float>{0, 0}));
    EXPECT_EQ(two.b, (std::vector<float>{55.0f / 256, -55.0f / 256}));
    ASSERT_EQ(two.progress.size(), 2u);
    EXPECT_NEAR(two.progress[1], 0.205, 0.0005);
}

TEST(NonlocalTv, WorkedExampleWithShrink)
{
    const TvRun run = runTv(makePairGraph(), {0, 1}, {0, 1}, {2.0f, 10.0f, 1});
    EXPECT_NEAR(run.u[0], 0.144, 0.0005);
    EXPECT_NEAR(run.u[1], 0.857, 0.0005);
    EXPECT_NEAR(run.d[0], 0.214, 0.0005);
    EXPECT_NEAR(run.d[1], -0.214, 0.0005);
    EXPECT_NEAR(run.b[0], 0.5, 0.0005);
    EXPECT_NEAR(run.b[1], -0.5, 0.0005);
    EXPECT_NEAR(run.progress[0], 0.143, 0.0005);
    expectSameRun(run, runReferenceTv(makePairGraph(), {0, 1}, {0, 1}, {2.0f, 10.0f, 1}));
}

TEST(NonlocalH1, WorkedExampleIsExact)
{
    const OwnedArrays graph = makePairGraph();
    EXPECT_EQ(runH1(graph, {0, 1}, 1.0f, 1), (std::vector<float>{3.0f / 8, 11.0f / 16}));
    EXPECT_EQ(runH1(graph, {0, 1}, 1.0f, 2), (std::vector<float>{43.0f / 128, 171.0f / 256}));
}

TEST(NonlocalSolvers, NoOuterIterationLeavesEverythingAsItWas)
{
    const OwnedArrays graph = makeRandomGraph(20, 18, 5, 3, 7);
    const std::vector<float> f = makeTestImage(20, 18, 0.1f);
    for (int nOuter : {0, -3}) {
        const TvRun run = runTv(graph, f, f, {1.0f, 1.0f, nOuter});
        EXPECT_EQ(run.u, f);
        EXPECT_TRUE(run.progress.empty());
        EXPECT_EQ(runH1(graph, f, 1.0f, nOuter), f);
    }
}

TEST(NonlocalSolvers, WithoutSlotsEveryPixelKeepsItsData)
{
    const OwnedArrays graph(9, 11, 0);
    const std::vector<float> f = makeTestImage(9, 11, 0.1f);
    const TvRun run = runTv(graph, std::vector<float>(f.size(), 0.5f), f, {1.0f, 3.0f, 2});
    for (size_t p = 0; p < f.size(); ++p) {
        EXPECT_FLOAT_EQ(run.u[p], f[p]);
    }
    const std::vector<float> smooth = runH1(graph, f, 3.0f, 2);
    for (size_t p = 0; p < f.size(); ++p)
        EXPECT_FLOAT_EQ(smooth[p], f[p]);
}

// The wavefront must show every pixel exactly what the row-by-row sweep shows it.
TEST(NonlocalSolvers, MatchTheRowByRowVersionsBitForBit)
{
    forEachSimdPath([&] {
        struct Case {
            int M, N, K, reach;
        };
        const Case cases[] = {
            {1, 7, 3, 2},    {2, 2, 2, -1},  {17, 40, 6, 1},  {33, 64, 8, 3},  {40, 33, 5, 5},
            {16, 100, 4, 6}, {50, 30, 7, -1}, {70, 200, 9, 10}, {5, 300, 3, 20}, {31, 31, 1, 0},
        };
        std::uint32_t seed = 1;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.M << "x" << c.N << " K=" << c.K << " reach=" << c.reach);
            const OwnedArrays graph = makeRandomGraph(c.M, c.N, c.K, c.reach, seed++);
            const std::vector<float> f = makeTestImage(c.M, c.N, 0.3f, seed);
            const std::vector<float> u0 = makeTestImage(c.M, c.N, 0.5f, seed + 100);
            for (NonlocalTvSettings s : {NonlocalTvSettings{0.7f, 0.3f, 3}, NonlocalTvSettings{20.0f, 1.0f, 2},
                                         NonlocalTvSettings{0.0f, 1.0f, 1}, NonlocalTvSettings{1.0f, 0.0f, 2}}) {
                const TvRun expected = runReferenceTv(graph, u0, f, s);
                expectSameRun(runTv(graph, u0, f, s, 1), expected);
                expectSameRun(runTv(graph, u0, f, s, 3), expected);
            }
            for (float mu : {0.5f, 0.0f})
                EXPECT_TRUE(sameBits(runH1(graph, f, mu, 3), runReferenceH1(graph, f, mu, 3)));
        }
    });
}

TEST(NonlocalSolvers, MatchTheRowByRowVersionsOnPatchGraphsAndOddValues)
{
    forEachSimdPath([&] {
        for (auto [M, N] : {std::pair{48, 40}, std::pair{20, 90}}) {
            const OwnedArrays graph = makePatchGraph(M, N, 5, 11, 4, 10);
            std::vector<float> f = makeTestImage(M, N, 0.2f);
            f[3] = std::numeric_limits<float>::quiet_NaN();
            f[M * 7 + 20] = std::numeric_limits<float>::infinity();
            f[0] = -1.0f;
            const NonlocalTvSettings s{5.0f, 2.0f, 3};
            expectSameRun(runTv(graph, f, f, s, 2), runReferenceTv(graph, f, f, s));
            EXPECT_TRUE(sameBits(runH1(graph, f, 0.8f, 4), runReferenceH1(graph, f, 0.8f, 4)));
        }
    });
}

// Continued in place, or (as the gateway does) into new arrays, the first
// iteration then reading the starting ones.
TEST(NonlocalTv, ContinuingACallEqualsOneLongerCall)
{
    const OwnedArrays graph = makePatchGraph(40, 36, 5, 9, 4, 6);
    const std::vector<float> f = makeTestImage(40, 36, 0.2f);
    forEachSimdPath([&] {
        const TvRun whole = runTv(graph, f, f, {4.0f, 2.0f, 5}, 2);
        for (int threads : {1, 2})
            for (bool apart : {false, true}) {
                SCOPED_TRACE(testing::Message() << threads << " threads, apart " << apart);
                TvRun part = runTv(graph, f, f, {4.0f, 2.0f, 2}, 2);
                const std::vector<float> rest =
                    progressOf(graph, part.u, part.d, part.b, f, {4.0f, 2.0f, 3}, threads, apart);
                part.progress.insert(part.progress.end(), rest.begin(), rest.end());
                expectSameRun(part, whole);
                // No iteration: the results are the starting arrays.
                const TvRun before = part;
                EXPECT_TRUE(progressOf(graph, part.u, part.d, part.b, f, {4.0f, 2.0f, 0}, threads, apart).empty());
                expectSameRun(part, before);
            }
    });
}

TEST(SweepSchedule, TheKeptLayoutServesOnlyAGraphItFitsExactly)
{
    const int M = 33, N = 64, K = 8;
    const OwnedArrays graph = makeRandomGraph(M, N, K, 3, 11);
    const std::vector<float> f = makeTestImage(M, N, 0.3f, 12);
    // Alike but for the last pixel: a weight of −0 for +0 (or the reverse),
    // or a neighbour one column over.
    auto variant = [&](bool weight) {
        auto changed = std::make_unique<OwnedArrays>(M, N, K);
        changed->weights = graph.weights;
        changed->neighbours = graph.neighbours;
        const std::ptrdiff_t last = graph.offset(M - 1, N - 1), P = graph.plane();
        if (weight)
            changed->weights[last + 2 * (K - 1) * P] = -changed->weights[last + 2 * (K - 1) * P];
        else {
            std::int32_t& column = changed->neighbours[last + (2 * K - 1) * P];
            column = column > 0 ? column - 1 : 1;
        }
        return changed;
    };
    const auto otherWeight = variant(true), otherNeighbour = variant(false);
    forEachSimdPath([&] {
        SweepSchedule s;
        ASSERT_TRUE(buildSweepSchedule(inputOf(graph), 2, &s));
        EXPECT_TRUE(sweepScheduleFits(s, inputOf(graph), 2));
        EXPECT_FALSE(sweepScheduleFits(s, inputOf(*otherWeight), 2));
        EXPECT_FALSE(sweepScheduleFits(s, inputOf(*otherNeighbour), 1));
        // A neighbour a band up and a band's steps to the right, past the
        // last column, has the slab position of the one it replaces.
        OwnedArrays outside(M, N, K);
        outside.weights = graph.weights;
        outside.neighbours = graph.neighbours;
        const std::ptrdiff_t last = graph.offset(M - 1, N - 1), P = graph.plane();
        std::int32_t& column = outside.neighbours[last + (2 * K - 1) * P];
        std::int32_t& row = outside.neighbours[last + 2 * K * P];
        ASSERT_GE(row, s.lanes);
        EXPECT_EQ(slabPosition(s, row - s.lanes, column + s.steps), slabPosition(s, row, column));
        row -= s.lanes;
        column += static_cast<std::int32_t>(s.steps);
        EXPECT_FALSE(sweepScheduleFits(s, inputOf(outside), 2));
        // One call after another, each on a graph other than the last one's.
        const OwnedArrays* const calls[] = {&graph, &graph, otherWeight.get(), otherNeighbour.get(), &graph};
        for (const OwnedArrays* g : calls) {
            EXPECT_TRUE(sameBits(runH1(*g, f, 0.5f, 2), runReferenceH1(*g, f, 0.5f, 2)));
            EXPECT_TRUE(sweepScheduleKept());
            const NonlocalTvSettings settings{0.7f, 0.3f, 2};
            expectSameRun(runTv(*g, f, f, settings, 2), runReferenceTv(*g, f, f, settings));
        }
    });
    // A layout made on another vector path does not fit.
    SweepSchedule s;
    ASSERT_TRUE(buildSweepSchedule(inputOf(graph), 1, &s));
    setenv("IMRESTORE_SIMD", "none", 1);
    EXPECT_EQ(sweepScheduleFits(s, inputOf(graph), 1), bestSimdPath() == SimdPath::none);
    unsetenv("IMRESTORE_SIMD");
    releaseKeptSweepSchedule();
    EXPECT_FALSE(sweepScheduleKept());
}

TEST(SweepSchedule, LagFollowsTheSidewaysReachOfLinks)
{
    // 4-connected links reach no column sideways: rows may trail by one column.
    EXPECT_EQ(wavefrontLag(inputOf(makePatchGraph(30, 30, 3, 3, 4, 0))), 1);
    // Links up to 5 columns sideways across one row: 6 columns.
    EXPECT_EQ(wavefrontLag(inputOf(makeRandomGraph(60, 60, 12, 5, 3))), 6);
    // Links of any length from or to pixel (0, 0) do not count.
    OwnedArrays graph(20, 20, 1);
    graph.neighbours[graph.offset(19, 19) + graph.plane()] = 0;
    graph.neighbours[graph.offset(19, 19) + 2 * graph.plane()] = 0;
    graph.neighbours[graph.plane()] = 19;
    graph.neighbours[2 * graph.plane()] = 19;
    EXPECT_EQ(wavefrontLag(inputOf(graph)), 1);
}
