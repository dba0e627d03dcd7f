// Warnings for arguments whose shape contradicts PARAMS (the call goes on
// with the same bits), and the errors for colour images and non-scalar
// settings in tvclean and patchaffinity.
#include "solver_fixture.h"
#include "standin_plugins.h"

#include <gtest/gtest.h>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const int M = 24, N = 30, K = 14;

Array singleRow(const std::vector<float>& v) { return standin::makeSingle({1, mwSize(v.size())}, v); }
Array doubleScalar(double v) { return standin::makeDouble({1, 1}, {v}); }

// The arrays of a graph problem, with any of them given another shape.
struct Graph {
    std::vector<float> f = makeTestImage(M, N, 0.2f);
    OwnedArrays g = makePatchGraph(M, N, 5, 11, 4, 10);
    std::vector<float> zeros = std::vector<float>(size_t(M) * N * K);
    Array kernel = standin::makeSingle({5, 5}, makeGaussianKernel(5, 1.0f));
    Array graphParams = singleRow({0, M, N, 5, 11, 4, 10, 0.05f});
    Array shrinkParams = singleRow({0, M, N, 5, 11, K, 8, 4, 2});
    Array smoothParams = singleRow({0, M, N, 5, 11, K, 0.5f, 2});

    Array image(std::vector<mwSize> dims = {M, N}) const
    {
        std::vector<float> values = f;
        size_t count = 1;
        for (mwSize d : dims)
            count *= d;
        values.resize(count, 0.5f);
        return standin::makeSingle(dims, values);
    }
    Array weights(std::vector<mwSize> dims = {N, M, 2 * K}) const
    {
        std::vector<float> values = g.weights;
        size_t count = 1;
        for (mwSize d : dims)
            count *= d;
        values.resize(count, 0.0f);
        return standin::makeSingle(dims, values);
    }
    Array neighbours(std::vector<mwSize> dims = {N, M, 2 * K + 1}) const
    {
        return standin::makeInt32(dims, g.neighbours);
    }
    Array fields(std::vector<mwSize> dims = {N, M, K}) const { return standin::makeSingle(dims, zeros); }
};

// The call succeeds with exactly one warning, imrestore:<function>:<what>,
// whose message holds `text`, and gives the results of `reference`.
void expectOneWarning(const CallResult& r, const CallResult& reference, const std::string& function,
                      const std::string& what, const std::string& text)
{
    ASSERT_FALSE(r.failed) << r.errorMessage;
    ASSERT_EQ(r.warningIds.size(), 1u);
    EXPECT_EQ(r.warningIds[0], "imrestore:" + function + ":" + what);
    EXPECT_NE(r.warnings[0].find(text), std::string::npos) << r.warnings[0];
    ASSERT_EQ(r.results.size(), reference.results.size());
    for (size_t k = 0; k < r.results.size(); ++k)
        EXPECT_EQ(standin::singleData(r.results[k].get()), standin::singleData(reference.results[k].get()));
    EXPECT_EQ(r.output, reference.output);
}

} // namespace

TEST(ShapeWarnings, PatchgraphImageAgainstRowsAndCols)
{
    const Graph g;
    const standin::Plugin& plugin = standinPlugin("patchgraph");
    const Array image = g.image(), column = g.image({M * N, 1}), row = g.image({1, M * N});
    const CallResult valid = plugin.call(1, {image.get(), g.kernel.get(), g.graphParams.get()});
    ASSERT_FALSE(valid.failed);
    EXPECT_TRUE(valid.warningIds.empty());
    for (const Array* vector : {&column, &row}) {
        const CallResult r = plugin.call(1, {vector->get(), g.kernel.get(), g.graphParams.get()});
        EXPECT_TRUE(r.warningIds.empty());
        EXPECT_EQ(standin::singleData(r.results[0].get()), standin::singleData(valid.results[0].get()));
    }
    const Array transposed = g.image({N, M}), colour = g.image({M, N, 3}), larger = g.image({M + 2, N});
    expectOneWarning(plugin.call(1, {transposed.get(), g.kernel.get(), g.graphParams.get()}), valid, "patchgraph",
                     "imageSize", "IMAGE (argument 1) is 30 by 24, but PARAMS gives rows 24 and cols 30");
    EXPECT_NE(plugin.call(1, {transposed.get(), g.kernel.get(), g.graphParams.get()}).warnings[0].find("swapped"),
              std::string::npos);
    expectOneWarning(plugin.call(1, {colour.get(), g.kernel.get(), g.graphParams.get()}), valid, "patchgraph",
                     "imageDimensions", "is 24 by 30 by 3");
    const CallResult r = plugin.call(1, {larger.get(), g.kernel.get(), g.graphParams.get()});
    ASSERT_EQ(r.warningIds.size(), 1u);
    EXPECT_EQ(r.warnings[0].find("swapped"), std::string::npos);
}

TEST(ShapeWarnings, SolversGraphArraysRunAlongImageRows)
{
    const Graph g;
    const standin::Plugin& shrink = standinPlugin("graphshrink");
    const standin::Plugin& smooth = standinPlugin("graphsmooth");
    const Array u = g.image(), d = g.fields(), w = g.weights(), nb = g.neighbours();
    const CallResult valid = shrink.call(1, {u.get(), d.get(), d.get(), u.get(), w.get(), nb.get(), g.shrinkParams.get()});
    ASSERT_FALSE(valid.failed) << valid.errorMessage;
    EXPECT_TRUE(valid.warningIds.empty());

    const Array dSwapped = g.fields({M, N, K}), wSwapped = g.weights({M, N, 2 * K}), wMore = g.weights({N, M, 2 * K + 2});
    expectOneWarning(shrink.call(1, {u.get(), dSwapped.get(), d.get(), u.get(), w.get(), nb.get(), g.shrinkParams.get()}),
                     valid, "graphshrink", "graphLayout",
                     "D0 (argument 2) is 24 by 30 by 14, but rows 24 and cols 30 need 30 by 24 by planes: the graph "
                     "arrays run along image rows: N by M by planes.");
    expectOneWarning(shrink.call(1, {u.get(), d.get(), d.get(), u.get(), wSwapped.get(), nb.get(), g.shrinkParams.get()}),
                     valid, "graphshrink", "graphLayout", "WEIGHTS (argument 5) is 24 by 30 by 28");
    expectOneWarning(shrink.call(1, {u.get(), d.get(), d.get(), u.get(), wMore.get(), nb.get(), g.shrinkParams.get()}),
                     valid, "graphshrink", "planeCount", "WEIGHTS (argument 5) has 30 planes, but iNbNeigh = 14");
    const Array fSwapped = g.image({N, M});
    expectOneWarning(shrink.call(1, {u.get(), d.get(), d.get(), fSwapped.get(), w.get(), nb.get(), g.shrinkParams.get()}),
                     valid, "graphshrink", "imageSize", "F (argument 4) is 30 by 24");

    // graphsmooth reads only the weight planes: 2K − 1 planes are as good as 2K.
    const CallResult smoothValid = smooth.call(1, {u.get(), w.get(), nb.get(), g.smoothParams.get()});
    ASSERT_FALSE(smoothValid.failed);
    EXPECT_TRUE(smoothValid.warningIds.empty());
    const Array wFewer = g.weights({N, M, 2 * K - 1}), nbSwapped = g.neighbours({M, N, 2 * K + 1});
    const CallResult fewer = smooth.call(1, {u.get(), wFewer.get(), nb.get(), g.smoothParams.get()});
    EXPECT_TRUE(fewer.warningIds.empty());
    EXPECT_EQ(standin::singleData(fewer.results[0].get()), standin::singleData(smoothValid.results[0].get()));
    expectOneWarning(smooth.call(1, {u.get(), w.get(), nbSwapped.get(), g.smoothParams.get()}), smoothValid,
                     "graphsmooth", "graphLayout", "NEIGHBOURS (argument 3) is 24 by 30 by 29");
}

TEST(ArgumentErrors, ColourImagesAndNonScalarSettings)
{
    const std::vector<float> f = makeTestImage(12, 10, 0.1f);
    const Array colour = standin::makeDouble({12, 10, 3}, std::vector<double>(360, 0.5));
    const Array image = standin::makeDouble({12, 10}, std::vector<double>(f.begin(), f.end()));
    const Array pair = standin::makeDouble({1, 2}, {1, 2}), one = doubleScalar(1), tol = doubleScalar(1e-3);
    const Array text = standin::makeArray(mxCHAR_CLASS, {1, 3});
    for (const RejectedCall& bad : std::vector<RejectedCall>{
             {"colour image", {colour.get(), one.get(), tol.get()}, 1, "invalidArgument", "denoise each channel separately"},
             {"MU pair", {image.get(), pair.get(), tol.get()}, 1, "invalidArgument",
              "MU (argument 2) must be a numeric scalar (it is a 1 by 2 double array)"},
             {"TOLERANCE text", {image.get(), one.get(), text.get()}, 1, "invalidArgument",
              "TOLERANCE (argument 3) must be a numeric scalar (it is a 1 by 3 char array)"}})
        expectRejected("tvclean", bad);
    for (const RejectedCall& bad : std::vector<RejectedCall>{
             {"colour image", {colour.get(), one.get()}, 1, "invalidArgument", "denoise each channel separately"},
             {"h pair", {image.get(), pair.get()}, 1, "invalidArgument", "H (argument 2) must be a numeric scalar"},
             {"p pair", {image.get(), one.get(), pair.get()}, 1, "invalidArgument", "PATCHRADIUS (argument 3) must be"},
             {"t pair", {image.get(), one.get(), one.get(), pair.get()}, 1, "invalidArgument",
              "SEARCHRADIUS (argument 4) must be"}})
        expectRejected("patchaffinity", bad);
}
