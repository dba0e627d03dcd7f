#include "common/fast_math.h"
#include "graph_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace imrestore;

TEST(FastMath, ExpApproximatesWithinSchraudolphsError)
{
    EXPECT_NEAR(fastExp(0.0), 0.971, 0.001);
    EXPECT_NEAR(fastExp(-0.5), 0.610, 0.001);
    EXPECT_NEAR(fastExp(-1.0), 0.375, 0.001);
    EXPECT_NEAR(fastExp(-2.0), 0.132, 0.001);
    for (double x = -80.0; x <= 0.0; x += 0.37)
        EXPECT_NEAR(fastExp(x) / std::exp(x), 1.0, 0.065) << x;
}

TEST(FastMath, ExpCrossesTheSelectionThresholdNearMinus687)
{
    EXPECT_GT(static_cast<double>(fastExp(-6.86)), 0.001);
    EXPECT_LT(static_cast<double>(fastExp(-6.88)), 0.001);
    EXPECT_EQ(fastExp(-105.0), 0.0f);
}

TEST(FastMath, ExpIsZeroWhereThePatternWouldTurnNegative)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {-709.1, -709.9, -710.0, -800.0, -1e6, -1e300, -inf, nan}) {
        const float w = fastExp(x);
        EXPECT_EQ(w, 0.0f) << x;
        EXPECT_FALSE(std::signbit(w)) << x;
    }
}

TEST(FastMath, ExpSaturatesAboveTheIntegerRange)
{
    // Only a negative kernel gives positive exponents; nothing may overflow.
    EXPECT_TRUE(std::isinf(fastExp(100.0)));
    EXPECT_TRUE(std::isnan(fastExp(1e6)) || std::isinf(fastExp(1e6)));
    EXPECT_TRUE(std::isnan(fastExp(1e300)) || std::isinf(fastExp(1e300)));
}

TEST(FastMath, SqrtIsCloseToTheLibrarySqrt)
{
    EXPECT_EQ(fastSqrt(0.0f), 0.0f);
    for (float x = 1e-6f; x < 1e6f; x *= 1.7f)
        EXPECT_NEAR(fastSqrt(x) / std::sqrt(x), 1.0, 5e-6) << x;
    EXPECT_NEAR(fastSqrt(1.0f), 1.0f, 5e-6f);
}

TEST(WeightGraph, PresetSetsCountsAndClearsSlots)
{
    OwnedGraph g(2, 3, 5);
    for (std::ptrdiff_t e = 0; e < 2 * 3 * 5; ++e) {
        g.graph.links[e] = 7;
        g.graph.weights[e] = 7.0f;
    }
    presetGraph(g.graph, 4);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(g.count(i, j), 4);
            for (int k = 0; k < 5; ++k)
                EXPECT_TRUE(g.isEmpty(i, j, k));
        }
}

TEST(WeightGraph, InsertPairEntersBothDirectionsOnceAndRespectsTheCap)
{
    OwnedGraph g(3, 3, 2);
    presetGraph(g.graph, 0);
    insertPair(g.graph, 1, 1, 0, 1, 0.5f);        // (1,1) <-> (1,2)
    EXPECT_EQ(g.count(1, 1), 1);
    EXPECT_EQ(g.neighbour(1, 1, 0), Cell(1, 2));
    EXPECT_EQ(g.weight(1, 1, 0), 0.5f);
    EXPECT_EQ(g.count(1, 2), 1);
    EXPECT_EQ(g.neighbour(1, 2, 0), Cell(1, 1));
    EXPECT_EQ(g.weight(1, 2, 0), 0.5f);

    insertPair(g.graph, 1, 1, 0, 1, 0.9f);        // duplicate: nothing changes
    insertPair(g.graph, 1, 2, 0, -1, 0.9f);       // the same link from the other side
    EXPECT_EQ(g.count(1, 1), 1);
    EXPECT_EQ(g.count(1, 2), 1);
    EXPECT_EQ(g.weight(1, 1, 0), 0.5f);

    insertPair(g.graph, 1, 2, 1, 0, 0.25f);       // fills (1,2): (2,2)
    insertPair(g.graph, 1, 1, 1, 0, 0.125f);      // (1,1) <-> (2,1), (1,1) now full
    insertPair(g.graph, 1, 1, -1, 0, 0.3f);       // (1,1) full: refused entirely
    EXPECT_EQ(g.count(1, 1), 2);
    EXPECT_EQ(g.count(0, 1), 0);

    // Forward entry made, reverse refused because (1,2) is full.
    insertPair(g.graph, 0, 2, 1, 0, 0.7f);
    EXPECT_EQ(g.count(0, 2), 1);
    EXPECT_EQ(g.neighbour(0, 2, 0), Cell(1, 2));
    EXPECT_EQ(g.count(1, 2), 2);

    // pairSlots empties the one-sided link; the owner's count keeps it.
    pairSlots(g.graph);
    EXPECT_TRUE(g.isEmpty(0, 2, 0));
    EXPECT_EQ(g.count(0, 2), 1);
}

TEST(WeightGraph, EmptySlotsMatchPixelZeroZero)
{
    // With nearest = 4 every slot below the count starts empty, i.e. naming (0, 0).
    OwnedGraph g(2, 2, 6);
    presetGraph(g.graph, 4);
    insertPair(g.graph, 1, 1, -1, -1, 0.5f);      // (0,0) counts as a duplicate of (1,1)'s empty slots
    EXPECT_EQ(g.count(1, 1), 4);
    insertPair(g.graph, 0, 0, 1, 1, 0.5f);        // forward made; (1,1) "already holds" (0,0)
    EXPECT_EQ(g.count(0, 0), 5);
    EXPECT_EQ(g.neighbour(0, 0, 4), Cell(1, 1));
    EXPECT_EQ(g.count(1, 1), 4);

    // The link survives: each empty slot k of (1,1) names (0,0), which moves
    // its link to (1,1) to slot k, ending at the last slot.
    pairSlots(g.graph);
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(g.isEmpty(0, 0, k)) << k;
    EXPECT_EQ(g.neighbour(0, 0, 5), Cell(1, 1));
    EXPECT_EQ(g.weight(0, 0, 5), 0.5f);
    EXPECT_EQ(g.count(0, 0), 5);
}

TEST(WeightGraph, PairSlotsVisitOrderDecidesTheLayout)
{
    OwnedGraph g(1, 4, 3);
    presetGraph(g.graph, 0);
    insertPair(g.graph, 0, 1, 0, 1, 0.5f);        // (0,1) slot 0 <-> (0,2) slot 0
    insertPair(g.graph, 0, 3, 0, -1, 0.25f);      // (0,3) slot 0 <-> (0,2) slot 1
    insertPair(g.graph, 0, 3, 0, -2, 0.125f);     // (0,3) slot 1 <-> (0,1) slot 1
    pairSlots(g.graph);
    // Visiting (0,2) aligns (0,3) by exchanging its slots; visiting (0,3) then
    // exchanges the slots of (0,1), which undoes the alignment of (0,1)-(0,2).
    EXPECT_EQ(g.neighbour(0, 1, 0), Cell(0, 3));
    EXPECT_EQ(g.weight(0, 1, 0), 0.125f);
    EXPECT_EQ(g.neighbour(0, 1, 1), Cell(0, 2));
    EXPECT_EQ(g.weight(0, 1, 1), 0.5f);
    EXPECT_EQ(g.neighbour(0, 2, 0), Cell(0, 1));
    EXPECT_EQ(g.neighbour(0, 2, 1), Cell(0, 3));
    EXPECT_EQ(g.neighbour(0, 3, 0), Cell(0, 1));
    EXPECT_EQ(g.neighbour(0, 3, 1), Cell(0, 2));
    EXPECT_EQ(g.weight(0, 3, 1), 0.25f);
    for (int j = 1; j < 4; ++j)
        EXPECT_TRUE(g.isEmpty(0, j, 2));
}

TEST(WeightGraph, PairSlotsMovesPixelZeroZerosSlotsForAnEmptySlot)
{
    // An empty slot k of A names (0, 0); if (0, 0) names A in slot q != k,
    // slots q and k of (0, 0) are exchanged.
    OwnedGraph g(1, 3, 2);
    presetGraph(g.graph, 0);
    insertPair(g.graph, 0, 0, 0, 2, 0.5f);        // (0,0) slot 0 <-> (0,2) slot 0
    pairSlots(g.graph);
    EXPECT_TRUE(g.isEmpty(0, 0, 0));
    EXPECT_EQ(g.neighbour(0, 0, 1), Cell(0, 2));
    EXPECT_EQ(g.weight(0, 0, 1), 0.5f);
    EXPECT_EQ(g.neighbour(0, 2, 0), Cell(0, 0));
    EXPECT_EQ(g.weight(0, 2, 0), 0.5f);
}

TEST(WeightGraph, LaterVisitWinsTheSharedSlot)
{
    // A = (0,1) and X = (0,2) both name B = (0,3) in slot 0; X is visited later.
    OwnedGraph g(1, 4, 2);
    presetGraph(g.graph, 0);
    insertPair(g.graph, 0, 1, 0, 2, 0.5f);        // A slot 0 <-> B slot 0
    insertPair(g.graph, 0, 2, 0, 1, 0.25f);       // X slot 0 <-> B slot 1
    pairSlots(g.graph);
    EXPECT_EQ(g.neighbour(0, 3, 0), Cell(0, 2));
    EXPECT_EQ(g.neighbour(0, 2, 0), Cell(0, 3));
    // B's own visit then moves A's link to B's other slot.
    EXPECT_EQ(g.neighbour(0, 3, 1), Cell(0, 1));
    EXPECT_TRUE(g.isEmpty(0, 1, 0));
    EXPECT_EQ(g.neighbour(0, 1, 1), Cell(0, 3));
}

TEST(WeightGraph, NormalizeDividesBySumAboveTheThreshold)
{
    OwnedGraph g(1, 4, 2);
    presetGraph(g.graph, 0);
    auto setWeights = [&](int j, float w0, float w1) {
        g.weight(0, j, 0) = w0;
        g.weight(0, j, 1) = w1;
    };
    setWeights(0, 0.25f, 0.5f);
    setWeights(1, 0.0005f, 0.0005f);   // sums to the single 0.001, which lies above the double 0.001
    setWeights(2, 0.0004f, 0.0005f);
    setWeights(3, 0.3f, 0.0f);
    normalizeWeights(g.graph);

    const float sum0 = 0.25f + 0.5f;
    EXPECT_EQ(g.weight(0, 0, 0), 0.25f / sum0);
    EXPECT_EQ(g.weight(0, 0, 1), 0.5f / sum0);
    EXPECT_EQ(g.weight(0, 1, 0), 0.5f);
    EXPECT_EQ(g.weight(0, 2, 0), 0.0004f);            // not normalised
    EXPECT_EQ(g.weight(0, 3, 0), 1.0f);

    const OwnedArrays stored = g.store();
    EXPECT_EQ(stored.root(0, 0, 1), fastSqrt(0.5f / sum0));
    EXPECT_EQ(stored.root(0, 2, 0), 0.0f);
    EXPECT_EQ(stored.root(0, 2, 1), 0.0f);
    EXPECT_EQ(stored.root(0, 3, 0), fastSqrt(1.0f));
    EXPECT_EQ(stored.root(0, 3, 1), 0.0f);
}

TEST(WeightGraph, StoreWritesTheHostPlanes)
{
    OwnedGraph g(2, 3, 2);
    presetGraph(g.graph, 0);
    insertPair(g.graph, 0, 2, 1, -2, 0.5f);       // (0,2) <-> (1,0)
    insertPair(g.graph, 1, 2, 0, -1, 0.25f);      // (1,2) <-> (1,1)
    normalizeWeights(g.graph);
    const OwnedArrays a = g.store();
    EXPECT_EQ(a.count(0, 2), 1);
    EXPECT_EQ(a.count(1, 0), 1);
    EXPECT_EQ(a.count(0, 0), 0);
    EXPECT_EQ(a.neighbour(0, 2, 0), Cell(1, 0));
    EXPECT_EQ(a.neighbour(1, 0, 0), Cell(0, 2));
    EXPECT_EQ(a.neighbour(1, 2, 0), Cell(1, 1));
    EXPECT_EQ(a.weight(1, 1, 0), 1.0f);
    EXPECT_EQ(a.root(1, 1, 0), fastSqrt(1.0f));
    // Host planes: plane p of pixel (i, j) at (j + N·i) + M·N·p.
    EXPECT_EQ(a.neighbours[(2 + 3 * 0) + 6 * 1], 0);   // column of (0,2)'s slot 0
    EXPECT_EQ(a.neighbours[(2 + 3 * 0) + 6 * 2], 1);   // its row
    EXPECT_EQ(a.weights[(1 + 3 * 1) + 6 * 0], 1.0f);
    for (int k = 0; k < 2; ++k)
        EXPECT_TRUE(a.isEmpty(0, 0, k));
    EXPECT_TRUE(a.isEmpty(0, 2, 1));
}
