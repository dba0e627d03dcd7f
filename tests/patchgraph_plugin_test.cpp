// patchgraph called through the stand-in host, as a user's host calls it.
#include "graph_fixture.h"
#include "nonlocal/patch_graph.h"
#include "standin_plugins.h"
#include "test_images.h"

#include <gtest/gtest.h>



#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const standin::Plugin& patchgraph() { return standinPlugin("patchgraph"); }

struct Inputs {
    Array image, kernel, params;
    std::vector<const mxArray*> all() const { return {image.get(), kernel.get(), params.get()}; }
};

Inputs makeInputs(int M, int N, std::vector<float> params)
{
    const int side = std::min(15, std::max(1, static_cast<int>(params[3])));
    return {standin::makeSingle({mwSize(M), mwSize(N)}, makeTestImage(M, N, 0.1f)),
            standin::makeSingle({mwSize(side), mwSize(side)}, makeGaussianKernel(side, 1.0f)),
            standin::makeSingle({1, mwSize(params.size())}, params)};
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

} // namespace

TEST(PatchgraphPlugin, ReturnsTheResultsAskedForAndWritesNoOtherSlot)
{
    const Inputs in = makeInputs(20, 30, {0, 20, 30, 5, 11, 4, 10, 0.05f});
    const std::vector<std::vector<mwSize>> dims = {{30, 20, 28}, {30, 20, 29}, {20, 30, 10}};
    const mxClassID classes[] = {mxSINGLE_CLASS, mxINT32_CLASS, mxSINGLE_CLASS};
    for (int nlhs : {0, 1, 2, 3}) {
        const CallResult r = patchgraph().call(nlhs, in.all());
        ASSERT_FALSE(r.failed) << r.errorMessage;
        EXPECT_FALSE(r.wroteBeyondResultSlots);
        ASSERT_EQ(r.results.size(), static_cast<size_t>(std::max(nlhs, 1)));
        for (size_t k = 0; k < r.results.size(); ++k) {
            ASSERT_NE(r.results[k].get(), nullptr);
            EXPECT_EQ(mxGetClassID(r.results[k].get()), classes[k]);
            EXPECT_EQ(standin::dimensions(r.results[k].get()), dims[k]);
        }
        if (nlhs == 3) {
            for (float v : standin::singleData(r.results[2].get()))
                ASSERT_EQ(v, 0.0f);
        }
        EXPECT_EQ(r.output, "iNbNeigh= 14, im2= 2, iw2= 5, ic1= 7\n");
        EXPECT_FALSE(r.argumentsWritten);
        EXPECT_FALSE(r.hostCalledFromOtherThread);
    }
}

TEST(PatchgraphPlugin, ReturnsTheGraphOfTheCoreRoutine)
{
    const int M = 33, N = 27;
    const Inputs in = makeInputs(M, N, {0, M, N, 5, 9, 4, 8, 0.04f});
    const CallResult r = patchgraph().call(2, in.all());
    ASSERT_FALSE(r.failed) << r.errorMessage;
    OwnedArrays expected(M, N, 12);
    const PatchGraphSettings s{5, 9, 4, 8, 0.04f};
    ASSERT_TRUE(buildPatchGraph(static_cast<const float*>(mxGetData(in.image.get())),
                                static_cast<const float*>(mxGetData(in.kernel.get())), s, 1, expected.arrays));
    const auto w = standin::singleData(r.results[0].get());
    EXPECT_EQ(0, std::memcmp(w.data(), expected.weights.data(), w.size() * sizeof(float)));
    EXPECT_EQ(standin::int32Data(r.results[1].get()), expected.neighbours);
}

TEST(PatchgraphPlugin, ParametersAreTruncatedAndTheVerboseFlagIsOne)
{
    // 7.9 → 7 (window), 5.5 → 5 (patch), verbose 1.9 → 1; h keeps its fraction.
    const Inputs in = makeInputs(16, 16, {1.9f, 16.7f, 16.2f, 5.5f, 7.9f, 4.0f, 3.99f, 0.05f});
    const CallResult r = patchgraph().call(3, in.all());
    ASSERT_FALSE(r.failed) << r.errorMessage;
    EXPECT_EQ(standin::dimensions(r.results[0].get()), (std::vector<mwSize>{16, 16, 14}));
    EXPECT_EQ(r.output.rfind("iNbNeigh= 7, im2= 2, iw2= 3, ic1= 5\n\nComputing Time for Weights= ", 0), 0u)
        << r.output;
    EXPECT_EQ(r.output.substr(r.output.size() - 7), " sec\n \n");

    for (float verbose : {0.0f, 0.9f, 2.0f, -1.0f, kNaN, kInf}) {
        const Inputs quiet = makeInputs(16, 16, {verbose, 16, 16, 5, 7, 4, 3, 0.05f});
        const CallResult q = patchgraph().call(3, quiet.all());
        ASSERT_FALSE(q.failed) << q.errorMessage;
        EXPECT_EQ(q.output, "iNbNeigh= 7, im2= 2, iw2= 3, ic1= 5\n") << verbose;
    }
}

TEST(PatchgraphPlugin, RejectsBadInputBeforeDoingAnything)
{
    struct BadCall {
        const char* what;
        std::function<std::vector<Array>()> args;
        int nlhs;
        const char* id;
        const char* message;   // a part of the message
    };
    auto valid = [](std::vector<float> params, int M = 12, int N = 12) {
        Inputs in = makeInputs(M, N, params);
        std::vector<Array> args;
        args.push_back(std::move(in.image));
        args.push_back(std::move(in.kernel));
        args.push_back(std::move(in.params));
        return args;
    };
    const std::vector<float> good = {0, 12, 12, 3, 5, 4, 6, 0.05f};
    auto with = [&](int index, float value) {
        std::vector<float> p = good;
        p[index] = value;
        return valid(p);
    };
    auto replace = [&](int position, Array array) {
        std::vector<Array> args = valid(good);
        args[position] = std::move(array);
        return args;
    };
    const std::vector<BadCall> table = {
        {"no arguments", [] { return std::vector<Array>(); }, 1, "notEnoughInputs", "three arguments"},
        {"two arguments", [&] { auto a = valid(good); a.pop_back(); return a; }, 1, "notEnoughInputs", "three"},
        {"four arguments", [&] { auto a = valid(good); a.push_back(standin::makeSingle({1, 1}, {0})); return a; },
         1, "tooManyInputs", "three"},
        {"four results", [&] { return valid(good); }, 4, "tooManyOutputs", "three results"},
        {"double image", [&] { return replace(0, standin::makeArray(mxDOUBLE_CLASS, {12, 12})); }, 1,
         "invalidArgument", "IMAGE (argument 1)"},
        {"complex image", [&] { return replace(0, standin::makeArray(mxSINGLE_CLASS, {12, 12}, mxCOMPLEX)); }, 1,
         "invalidArgument", "IMAGE (argument 1)"},
        {"int32 kernel", [&] { return replace(1, standin::makeArray(mxINT32_CLASS, {3, 3})); }, 1,
         "invalidArgument", "KERNEL (argument 2)"},
        {"double params", [&] { return replace(2, standin::makeDouble({1, 8}, {0, 12, 12, 3, 5, 4, 6, 0.05})); },
         1, "invalidArgument", "PARAMS (argument 3)"},
        {"seven params", [&] { return replace(2, standin::makeSingle({1, 7}, {0, 12, 12, 3, 5, 4, 6})); }, 1,
         "invalidArgument", "at least 8 elements"},
        {"NaN rows", [&] { return with(1, kNaN); }, 1, "invalidArgument", "PARAMS(2) (rows)"},
        {"infinite cols", [&] { return with(2, kInf); }, 1, "invalidArgument", "PARAMS(3) (cols)"},
        {"huge patchSide", [&] { return with(3, 3e9f); }, 1, "invalidArgument", "PARAMS(4) (patchSide)"},
        {"huge negative best", [&] { return with(6, -3e9f); }, 1, "invalidArgument", "PARAMS(7) (best)"},
        {"zero rows", [&] { return with(1, 0); }, 1, "invalidArgument", "at least 1 by 1"},
        {"negative cols", [&] { return with(2, -4); }, 1, "invalidArgument", "at least 1 by 1"},
        {"patchSide 0", [&] { return with(3, 0.5f); }, 1, "invalidArgument", "at least 1"},
        {"windowSide 0", [&] { return with(4, 0); }, 1, "invalidArgument", "at least 1"},
        {"nearest 2", [&] { return with(5, 2); }, 1, "invalidArgument",
         "Number of nearest neighbors must be 0 or 4 !!!"},
        {"nearest 4, window 2", [&] { return with(4, 2); }, 1, "invalidArgument", "at least 3"},
        {"negative best", [&] { return with(6, -1); }, 1, "invalidArgument", "best (-1)"},
        {"best beyond the window", [&] { return with(6, 25); }, 1, "invalidArgument",
         "best (25) exceeds the 24 other pixels of a window of side 5"},
        // Its 65535^2 - 1 other pixels overflowed a 32-bit count, and the
        // check then compared best with a negative number.
        {"a window of side 65535 on a small image", [&] { return with(4, 65535); }, 1, "invalidArgument",
         "border width"},
        {"best beyond a window of 46339 a side", [&] { return valid({0, 12, 12, 3, 46339, 0, 2147483520.0f, 0.05f}); },
         1, "invalidArgument", "best (2147483520) exceeds the 2147302920 other pixels of a window of side 46339"},
        {"a window of 46341 a side", [&] { return valid({0, 23171, 23171, 1, 46341, 0, 1, 0.05f}); }, 1,
         "invalidArgument", "windowSide (46341) must be at most 46340"},
        {"a patch of 46341 a side", [&] { return valid({0, 23171, 23171, 46341, 1, 0, 0, 0.05f}); }, 1,
         "invalidArgument", "patchSide (46341) and windowSide (1) must be at most 46340"},
        {"a graph no machine holds", [&] { return valid({0, 503, 503, 3, 1001, 4, 1e6f, 0.05f}, 503, 503); }, 1,
         "tooLarge", "more than this machine's memory holds"},
        {"h zero", [&] { return with(7, 0); }, 1, "invalidArgument", "h (0)"},
        {"h negative", [&] { return with(7, -0.5f); }, 1, "invalidArgument", "must be above 0"},
        {"h NaN", [&] { return with(7, kNaN); }, 1, "invalidArgument", "must be above 0"},
        {"image below the border width", [&] { return valid({0, 4, 12, 3, 9, 4, 6, 0.05f}, 4, 12); }, 1,
         "invalidArgument", "border width"},
        {"image with too few elements",
         [&] { return replace(0, standin::makeSingle({12, 11}, std::vector<float>(132))); }, 1,
         "inconsistentSizes", "rows*cols = 144"},
        {"kernel with too few elements", [&] { return replace(1, standin::makeSingle({2, 4}, std::vector<float>(8))); },
         1, "inconsistentSizes", "patchSide^2 = 9"},
    };
    for (const BadCall& bad : table) {
        SCOPED_TRACE(bad.what);
        std::vector<Array> args;
        ASSERT_NO_THROW(args = bad.args());
        std::vector<const mxArray*> raw;
        for (const Array& a : args)
            raw.push_back(a.get());
        const CallResult r = patchgraph().call(bad.nlhs, raw);
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(r.errorId, std::string("imrestore:patchgraph:") + bad.id);
        EXPECT_NE(r.errorMessage.find(bad.message), std::string::npos) << r.errorMessage;
        EXPECT_TRUE(r.results.empty());
        EXPECT_EQ(r.output, "");
        EXPECT_FALSE(r.argumentsWritten);
    }
}

TEST(PatchgraphPlugin, AGraphBeyondMemoryIsAHostError)
{
    const Inputs in = makeInputs(12, 12, {0, 12, 12, 3, 5, 4, 2e9f, 0.05f});
    const CallResult r = patchgraph().call(3, in.all());
    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.results.empty());
}

TEST(PatchgraphPlugin, SurvivesRandomParameterVectors)
{
    // Random, often invalid, parameter vectors on small images: every call
    // either fails with an imrestore error or returns a consistent graph.
    std::mt19937 random(20261208);
    const float specials[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1.0f, -1.0f, 2.5f, 1e10f, -1e10f};
    std::uniform_int_distribution<int> small(-2, 9);
    std::uniform_int_distribution<int> pick(0, 9);
    int succeeded = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        std::vector<float> p(8 + trial % 2);
        for (float& v : p)
            v = pick(random) == 0 ? specials[pick(random)] : static_cast<float>(small(random));
        p[5] = pick(random) < 7 ? (pick(random) < 5 ? 0.0f : 4.0f) : p[5];
        p[7] = pick(random) < 8 ? 0.01f * (1 + pick(random)) : p[7];
        const int M = std::max(0, small(random)), N = std::max(0, small(random));
        if (pick(random) < 7) {
            p[1] = static_cast<float>(M);
            p[2] = static_cast<float>(N);
        }
        const int side = std::max(0, small(random));
        const Array image = standin::makeSingle({mwSize(M), mwSize(N)}, makeTestImage(M, N, 0.2f, trial));
        const Array kernel = standin::makeSingle({mwSize(side), mwSize(side)}, makeGaussianKernel(side, 1.0f));
        const Array params = standin::makeSingle({mwSize(p.size()), 1}, p);
        const CallResult r = patchgraph().call(3, {image.get(), kernel.get(), params.get()});
        EXPECT_FALSE(r.argumentsWritten);
        if (r.failed) {
            EXPECT_EQ(r.errorId.rfind("imrestore:patchgraph:", 0), 0u) << r.errorId;
            continue;
        }
        ++succeeded;
        ASSERT_EQ(r.results.size(), 3u);
        const auto nb = standin::int32Data(r.results[1].get());
        const int rows = static_cast<int>(p[1]), cols = static_cast<int>(p[2]);
        for (size_t e = static_cast<size_t>(rows) * cols; e < nb.size(); ++e) {
            const size_t plane = (e / (static_cast<size_t>(rows) * cols));
            const int limit = plane % 2 ? cols : rows;
            ASSERT_TRUE(nb[e] >= 0 && nb[e] < limit);
        }
    }
    EXPECT_GT(succeeded, 20);
}
