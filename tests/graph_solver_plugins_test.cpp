// graphshrink and graphsmooth called through the stand-in host.
#include "reference_graph_solvers.h"
#include "solver_fixture.h"
#include "standin_plugins.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <regex>

#include <sched.h>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const standin::Plugin& graphshrink() { return standinPlugin("graphshrink"); }

const standin::Plugin& graphsmooth() { return standinPlugin("graphsmooth"); }

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// The host arrays of a problem: data image, a graph, and zero d and b.
struct Problem {
    int M, N, K;
    std::vector<float> f;
    OwnedArrays graph;
    Array image, weights, neighbours, fields;

    Problem(int rows, int cols, OwnedArrays g)
        : M(rows), N(cols), K(static_cast<int>(g.arrays.slots)), f(makeTestImage(rows, cols, 0.2f)),
          graph(std::move(g)),
          image(standin::makeSingle({mwSize(M), mwSize(N)}, f)),
          weights(standin::makeSingle({mwSize(N), mwSize(M), mwSize(2 * K)}, graph.weights)),
          neighbours(standin::makeInt32({mwSize(N), mwSize(M), mwSize(2 * K + 1)}, graph.neighbours)),
          fields(standin::makeSingle({mwSize(N), mwSize(M), mwSize(K)}, std::vector<float>(size_t(M) * N * K)))
    {
    }

    std::vector<float> shrinkParams(float verbose, float lambda, float mu, float nOuter) const
    {
        return {verbose, float(M), float(N), 5, 11, float(K), lambda, mu, nOuter};
    }
    std::vector<float> smoothParams(float verbose, float mu, float nOuter) const
    {
        return {verbose, float(M), float(N), 5, 11, float(K), mu, nOuter};
    }
};

Array paramsArray(const std::vector<float>& p) { return standin::makeSingle({1, mwSize(p.size())}, p); }

CallResult shrink(int nlhs, const mxArray* u, const mxArray* d, const mxArray* b, const Problem& pr,
                  const std::vector<float>& params)
{
    const Array p = paramsArray(params);
    return graphshrink().call(nlhs, {u, d, b, pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
}

const std::regex kShrinkTiming("\nComputing Time for NL-TV with Split-Bregman= [0-9]+\\.[0-9]{3} sec\n \n");
const std::regex kSmoothTiming("\nComputing Time for NL-H1= [0-9]+\\.[0-9]{3} sec\n \n");

std::string progressLines(const std::vector<float>& progress)
{
    std::string lines;
    char line[64];
    for (float v : progress) {
        std::snprintf(line, sizeof line, "|u-uold|= %.6f\n", static_cast<double>(v));
        lines += line;
    }
    return lines;
}

} // namespace

TEST(GraphshrinkPlugin, ReturnsTheSolverResultsTheProgressAndTheTiming)
{
    const Problem pr(24, 30, makePatchGraph(24, 30, 5, 11, 4, 10));
    const CallResult r = shrink(4, pr.image.get(), pr.fields.get(), pr.fields.get(), pr, pr.shrinkParams(1, 8, 4, 3));
    ASSERT_FALSE(r.failed) << r.errorMessage;
    ASSERT_EQ(r.results.size(), 4u);
    EXPECT_FALSE(r.wroteBeyondResultSlots);
    EXPECT_FALSE(r.argumentsWritten);
    EXPECT_FALSE(r.hostCalledFromOtherThread);

    std::vector<float> u = pr.f, d(size_t(pr.M) * pr.N * pr.K), b = d;
    const std::vector<float> progress =
        referenceNonlocalTv(u.data(), d.data(), b.data(), pr.f.data(), inputOf(pr.graph), {8, 4, 3});
    EXPECT_TRUE(sameBits(standin::singleData(r.results[0].get()), u));
    EXPECT_TRUE(sameBits(standin::singleData(r.results[1].get()), d));
    EXPECT_TRUE(sameBits(standin::singleData(r.results[2].get()), b));
    EXPECT_EQ(standin::dimensions(r.results[0].get()), (std::vector<mwSize>{24, 30}));
    EXPECT_EQ(standin::dimensions(r.results[1].get()), (std::vector<mwSize>{30, 24, 14}));
    EXPECT_EQ(standin::dimensions(r.results[2].get()), (std::vector<mwSize>{30, 24, 14}));
    EXPECT_EQ(standin::dimensions(r.results[3].get()), (std::vector<mwSize>{24, 30, 10}));
    for (float v : standin::singleData(r.results[3].get()))
        ASSERT_EQ(v, 0.0f);

    const std::string lines = progressLines(progress);
    ASSERT_EQ(r.output.substr(0, lines.size()), lines);
    EXPECT_TRUE(std::regex_match(r.output.substr(lines.size()), kShrinkTiming)) << r.output;
}

TEST(GraphshrinkPlugin, ContinuesExactlyWhereTheLastCallStopped)
{
    const Problem pr(20, 26, makePatchGraph(20, 26, 5, 9, 4, 6));
    // d and b given as flat vectors: the results still have the graph dimensions.
    const Array flat = standin::makeSingle({1, mwSize(20 * 26 * 10)}, std::vector<float>(20 * 26 * 10));
    const CallResult whole = shrink(3, pr.image.get(), flat.get(), flat.get(), pr, pr.shrinkParams(1, 5, 2, 5));
    const CallResult first = shrink(3, pr.image.get(), flat.get(), flat.get(), pr, pr.shrinkParams(1, 5, 2, 2));
    ASSERT_FALSE(whole.failed || first.failed);
    EXPECT_EQ(standin::dimensions(first.results[1].get()), (std::vector<mwSize>{26, 20, 10}));
    const CallResult rest = shrink(3, first.results[0].get(), first.results[1].get(), first.results[2].get(), pr,
                                   pr.shrinkParams(1, 5, 2, 3));
    ASSERT_FALSE(rest.failed);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(sameBits(standin::singleData(rest.results[k].get()), standin::singleData(whole.results[k].get())));
    auto progress = [](const std::string& output) { return output.substr(0, output.find("\nComputing")); };
    EXPECT_EQ(progress(first.output) + progress(rest.output), progress(whole.output));
}

TEST(GraphshrinkPlugin, NoIterationCopiesTheStartAndPrintsOnlyTheTiming)
{
    const Problem pr(10, 12, makeRandomGraph(10, 12, 3, 2, 5));
    const Array d = standin::makeSingle({12, 10, 3}, makeTestImage(12, 30, 1.0f));
    for (float nOuter : {0.0f, -4.0f}) {
        const CallResult r = shrink(3, pr.image.get(), d.get(), d.get(), pr, pr.shrinkParams(1, 1, 1, nOuter));
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(standin::singleData(r.results[0].get()), pr.f);
        EXPECT_EQ(standin::singleData(r.results[1].get()), standin::singleData(d.get()));
        EXPECT_EQ(standin::singleData(r.results[2].get()), standin::singleData(d.get()));
        EXPECT_TRUE(std::regex_match(r.output, kShrinkTiming)) << r.output;
    }
}

TEST(GraphSolverPlugins, PrintOnlyWhenVerboseTruncatesToOne)
{
    const Problem pr(8, 9, makeRandomGraph(8, 9, 2, 1, 3));
    for (float verbose : {1.0f, 1.9f}) {
        const CallResult r = shrink(1, pr.image.get(), pr.fields.get(), pr.fields.get(), pr,
                                    pr.shrinkParams(verbose, 1, 1, 2));
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '|'), 4) << r.output;
        const Array p = paramsArray(pr.smoothParams(verbose, 1, 2));
        const CallResult s = graphsmooth().call(1, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
        EXPECT_TRUE(std::regex_match(s.output, kSmoothTiming)) << s.output;
    }
    for (float verbose : {0.0f, 0.9f, 2.0f, -1.0f, kNaN, kInf}) {
        const CallResult r = shrink(1, pr.image.get(), pr.fields.get(), pr.fields.get(), pr,
                                    pr.shrinkParams(verbose, 1, 1, 2));
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(r.output, "");
        const Array p = paramsArray(pr.smoothParams(verbose, 1, 2));
        const CallResult s = graphsmooth().call(1, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
        ASSERT_FALSE(s.failed);
        EXPECT_EQ(s.output, "");
    }
}

TEST(GraphSolverPlugins, ReturnTheResultsAskedFor)
{
    const Problem pr(6, 7, makeRandomGraph(6, 7, 2, 1, 9));
    for (int nlhs : {0, 1, 2, 3, 4}) {
        const CallResult r =
            shrink(nlhs, pr.image.get(), pr.fields.get(), pr.fields.get(), pr, pr.shrinkParams(0, 1, 1, 1));
        ASSERT_FALSE(r.failed);
        EXPECT_EQ(r.results.size(), size_t(std::max(nlhs, 1)));
        EXPECT_FALSE(r.wroteBeyondResultSlots);
    }
    const Array p = paramsArray(pr.smoothParams(0, 1, 1));
    for (int nlhs : {0, 1}) {
        const CallResult s = graphsmooth().call(nlhs, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
        ASSERT_FALSE(s.failed);
        EXPECT_EQ(s.results.size(), 1u);
        EXPECT_FALSE(s.wroteBeyondResultSlots);
    }
}

TEST(GraphSolverPlugins, WorkMemoryKeptBetweenCallsChangesNoBit)
{
    // Large enough for the sweep layout to be kept between calls.
    const Problem pr(150, 160, makePatchGraph(150, 160, 3, 7, 4, 8));
    const Array p = paramsArray(pr.smoothParams(0, 0.7f, 2));
    std::vector<float> u = pr.f;
    referenceNonlocalH1(u.data(), pr.f.data(), inputOf(pr.graph), 0.7f, 2);
    for (int call = 0; call < 3; ++call) {
        if (call == 2)
            graphsmooth().clear();   // as the host does on `clear graphsmooth`
        const CallResult r = graphsmooth().call(1, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
        ASSERT_FALSE(r.failed) << r.errorMessage;
        EXPECT_TRUE(sameBits(standin::singleData(r.results[0].get()), u)) << "call " << call;
    }
}

TEST(GraphshrinkPlugin, ManyIterationsOnATinyImageStayFastOnOneCore)
{
    // A helper thread that spun while waiting for the caller's thread on the
    // same core made 10^4 outer iterations on 3x3 pixels take seconds.
    cpu_set_t saved, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &saved)) {
            CPU_SET(c, &one);
            break;
        }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const Problem pr(3, 3, makePatchGraph(3, 3, 1, 3, 0, 6));
    const auto start = std::chrono::steady_clock::now();
    const CallResult r = shrink(3, pr.image.get(), pr.fields.get(), pr.fields.get(), pr, pr.shrinkParams(0, 1, 1, 10000));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sched_setaffinity(0, sizeof saved, &saved);
    ASSERT_FALSE(r.failed) << r.errorMessage;
    EXPECT_LT(seconds, 2.0);
}

TEST(GraphsmoothPlugin, ReturnsTheSolverResult)
{
    const Problem pr(30, 22, makePatchGraph(30, 22, 3, 7, 4, 8));
    const Array p = paramsArray(pr.smoothParams(0, 0.7f, 4));
    const CallResult r = graphsmooth().call(1, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), p.get()});
    ASSERT_FALSE(r.failed) << r.errorMessage;
    std::vector<float> u = pr.f;
    referenceNonlocalH1(u.data(), pr.f.data(), inputOf(pr.graph), 0.7f, 4);
    EXPECT_TRUE(sameBits(standin::singleData(r.results[0].get()), u));
    EXPECT_EQ(standin::dimensions(r.results[0].get()), (std::vector<mwSize>{30, 22}));
    EXPECT_FALSE(r.argumentsWritten);

    // K = 0, with an empty weight array (2K − 1 planes are needed) and a count plane.
    const Problem none(5, 4, OwnedArrays(5, 4, 0));
    const Array q = paramsArray(none.smoothParams(0, 2, 3));
    const Array noWeights = standin::makeSingle({0, 0}, {});
    const CallResult s = graphsmooth().call(1, {none.image.get(), noWeights.get(), none.neighbours.get(), q.get()});
    ASSERT_FALSE(s.failed) << s.errorMessage;
    const std::vector<float> smooth = standin::singleData(s.results[0].get());
    for (size_t p = 0; p < smooth.size(); ++p)
        EXPECT_FLOAT_EQ(smooth[p], none.f[p]);
}

namespace {

struct BadCall {
    const char* what;
    std::function<std::vector<Array>()> args;
    int nlhs;
    const char* id;
    const char* message;   // a part of the message
};

void expectRejected(const standin::Plugin& plugin, const char* function, const std::vector<BadCall>& table)
{
    for (const BadCall& bad : table) {
        SCOPED_TRACE(bad.what);
        std::vector<Array> args;
        ASSERT_NO_THROW(args = bad.args());
        std::vector<const mxArray*> raw;
        for (const Array& a : args)
            raw.push_back(a.get());
        const CallResult r = plugin.call(bad.nlhs, raw);
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(r.errorId, std::string("imrestore:") + function + ":" + bad.id);
        EXPECT_NE(r.errorMessage.find(bad.message), std::string::npos) << r.errorMessage;
        EXPECT_EQ(r.output, "");
        EXPECT_FALSE(r.argumentsWritten);
    }
}

// A valid call's arguments with one replaced or one parameter changed.
struct Arguments {
    const Problem& pr;
    bool shrinking;
    std::vector<Array> valid(std::vector<float> params) const
    {
        std::vector<Array> a;
        if (shrinking) {
            a.push_back(standin::makeSingle({mwSize(pr.M), mwSize(pr.N)}, pr.f));
            a.push_back(standin::makeSingle({mwSize(pr.N), mwSize(pr.M), mwSize(pr.K)},
                                            std::vector<float>(size_t(pr.M) * pr.N * pr.K)));
            a.push_back(standin::makeSingle({mwSize(pr.N), mwSize(pr.M), mwSize(pr.K)},
                                            std::vector<float>(size_t(pr.M) * pr.N * pr.K)));
        }
        a.push_back(standin::makeSingle({mwSize(pr.M), mwSize(pr.N)}, pr.f));
        a.push_back(standin::makeSingle({mwSize(pr.N), mwSize(pr.M), mwSize(2 * pr.K)}, pr.graph.weights));
        a.push_back(standin::makeInt32({mwSize(pr.N), mwSize(pr.M), mwSize(2 * pr.K + 1)}, pr.graph.neighbours));
        a.push_back(paramsArray(params));
        return a;
    }
    std::vector<float> good() const
    {
        return shrinking ? pr.shrinkParams(0, 1, 1, 1) : pr.smoothParams(0, 1, 1);
    }
    std::function<std::vector<Array>()> with(int index, float value) const
    {
        return [=] {
            std::vector<float> p = good();
            p[index] = value;
            return valid(p);
        };
    }
    std::function<std::vector<Array>()> replace(int position, std::function<Array()> array) const
    {
        return [=] {
            std::vector<Array> a = valid(good());
            a[position] = array();
            return a;
        };
    }
    std::function<std::vector<Array>()> neighbourAt(size_t element, std::int32_t value) const
    {
        return [=] {
            std::vector<std::int32_t> nb = pr.graph.neighbours;
            nb[element] = value;
            std::vector<Array> a = valid(good());
            a[a.size() - 2] = standin::makeInt32({mwSize(pr.N), mwSize(pr.M), mwSize(2 * pr.K + 1)}, nb);
            return a;
        };
    }
};

} // namespace

TEST(GraphshrinkPlugin, RejectsBadInputBeforeDoingAnything)
{
    const Problem pr(6, 5, makeRandomGraph(6, 5, 2, 2, 4));
    const Arguments a{pr, true};
    const size_t P = 30;
    auto singles = [](std::vector<mwSize> dims) { return [=] { return standin::makeArray(mxSINGLE_CLASS, dims); }; };
    const std::vector<BadCall> table = {
        {"six arguments", [&] { auto v = a.valid(a.good()); v.pop_back(); return v; }, 1, "notEnoughInputs",
         "seven arguments"},
        {"eight arguments", [&] { auto v = a.valid(a.good()); v.push_back(paramsArray({1})); return v; }, 1,
         "tooManyInputs", "seven arguments"},
        {"five results", [&] { return a.valid(a.good()); }, 5, "tooManyOutputs", "four results"},
        {"double u0", a.replace(0, [] { return standin::makeArray(mxDOUBLE_CLASS, {6, 5}); }), 1, "invalidArgument",
         "U0 (argument 1)"},
        {"complex d0", a.replace(1, [] { return standin::makeArray(mxSINGLE_CLASS, {5, 6, 2}, mxCOMPLEX); }), 1,
         "invalidArgument", "D0 (argument 2)"},
        {"int32 b0", a.replace(2, [] { return standin::makeArray(mxINT32_CLASS, {5, 6, 2}); }), 1,
         "invalidArgument", "B0 (argument 3)"},
        {"sparse f", a.replace(3, [] { return Array(mxCreateSparse(6, 5, 1, mxREAL)); }), 1, "invalidArgument",
         "F (argument 4)"},
        {"double weights", a.replace(4, [] { return standin::makeArray(mxDOUBLE_CLASS, {5, 6, 4}); }), 1,
         "invalidArgument", "WEIGHTS (argument 5)"},
        {"single neighbours", a.replace(5, singles({5, 6, 5})), 1, "invalidArgument", "NEIGHBOURS (argument 6)"},
        {"eight params", a.replace(6, [] { return paramsArray({0, 6, 5, 5, 11, 2, 1, 1}); }), 1, "invalidArgument",
         "at least 9 elements"},
        {"double params", a.replace(6, [] { return standin::makeDouble({1, 9}, {0, 6, 5, 5, 11, 2, 1, 1, 1}); }), 1,
         "invalidArgument", "real single vector"},
        {"NaN rows", a.with(1, kNaN), 1, "invalidArgument", "PARAMS(2)"},
        {"huge nOuter", a.with(8, 3e9f), 1, "invalidArgument", "PARAMS(9)"},
        {"infinite patchSide", a.with(3, kInf), 1, "invalidArgument", "PARAMS(4)"},
        {"zero cols", a.with(2, 0), 1, "invalidArgument", "at least 1 by 1"},
        {"negative K", a.with(5, -1), 1, "invalidArgument", "iNbNeigh (-1)"},
        {"rows beyond u0", a.with(1, 7), 1, "inconsistentSizes", "U0 (argument 1)"},
        {"K beyond d0", a.with(5, 3), 1, "inconsistentSizes", "D0 (argument 2)"},
        {"short b0", a.replace(2, singles({5, 6, 1})), 1, "inconsistentSizes", "B0 (argument 3)"},
        {"short f", a.replace(3, singles({6, 4})), 1, "inconsistentSizes", "F (argument 4)"},
        {"short weights", a.replace(4, singles({5, 6, 3})), 1, "inconsistentSizes", "WEIGHTS (argument 5)"},
        {"short neighbours", a.replace(5, [] { return standin::makeArray(mxINT32_CLASS, {5, 6, 4}); }), 1,
         "inconsistentSizes", "NEIGHBOURS (argument 6)"},
        {"negative column", a.neighbourAt(P + 7, -1), 1, "invalidArgument", "columns in 0..4"},
        {"column past the image", a.neighbourAt(3 * P + 2, 5), 1, "invalidArgument", "names row"},
        {"row past the image", a.neighbourAt(4 * P + 29, 6), 1, "invalidArgument", "rows must lie in 0..5"},
        // Parameters at which the sweeps divide by sums that vanish or change sign.
        {"negative lambda", a.with(6, -1), 1, "invalidArgument", "lambda (-1)"},
        {"NaN lambda", a.with(6, kNaN), 1, "invalidArgument", "lambda (nan)"},
        {"zero mu", a.with(7, 0), 1, "invalidArgument", "mu (0)"},
        {"negative mu", a.with(7, -1), 1, "invalidArgument", "mu (-1)"},
        {"infinite mu", a.with(7, kInf), 1, "invalidArgument", "mu (inf)"},
        {"a graph no machine holds", a.with(5, 2e9f), 1, "tooLarge", "more than this machine's memory"},
    };
    expectRejected(graphshrink(), "graphshrink", table);
}

TEST(GraphsmoothPlugin, RejectsBadInputBeforeDoingAnything)
{
    const Problem pr(6, 5, makeRandomGraph(6, 5, 2, 2, 4));
    const Arguments a{pr, false};
    const size_t P = 30;
    auto singles = [](std::vector<mwSize> dims) { return [=] { return standin::makeArray(mxSINGLE_CLASS, dims); }; };
    const std::vector<BadCall> table = {
        {"three arguments", [&] { auto v = a.valid(a.good()); v.pop_back(); return v; }, 1, "notEnoughInputs",
         "four arguments"},
        {"five arguments", [&] { auto v = a.valid(a.good()); v.push_back(paramsArray({1})); return v; }, 1,
         "tooManyInputs", "four arguments"},
        {"two results", [&] { return a.valid(a.good()); }, 2, "tooManyOutputs", "one result"},
        {"double f", a.replace(0, [] { return standin::makeArray(mxDOUBLE_CLASS, {6, 5}); }), 1, "invalidArgument",
         "F (argument 1)"},
        {"complex weights", a.replace(1, [] { return standin::makeArray(mxSINGLE_CLASS, {5, 6, 4}, mxCOMPLEX); }), 1,
         "invalidArgument", "WEIGHTS (argument 2)"},
        {"double neighbours", a.replace(2, [] { return standin::makeArray(mxDOUBLE_CLASS, {5, 6, 5}); }), 1,
         "invalidArgument", "NEIGHBOURS (argument 3)"},
        {"seven params", a.replace(3, [] { return paramsArray({0, 6, 5, 5, 11, 2, 1}); }), 1, "invalidArgument",
         "at least 8 elements"},
        {"NaN nOuter", a.with(7, kNaN), 1, "invalidArgument", "PARAMS(8)"},
        {"negative rows", a.with(1, -6), 1, "invalidArgument", "at least 1 by 1"},
        {"short f", a.replace(0, singles({5, 5})), 1, "inconsistentSizes", "F (argument 1)"},
        {"weights of 2K - 2 planes", a.replace(1, singles({5, 6, 2})), 1, "inconsistentSizes", "WEIGHTS (argument 2)"},
        {"short neighbours", a.replace(2, [] { return standin::makeArray(mxINT32_CLASS, {5, 6, 4}); }), 1,
         "inconsistentSizes", "NEIGHBOURS (argument 3)"},
        {"row past the image", a.neighbourAt(2 * P + 1, 6), 1, "invalidArgument", "rows must lie in 0..5"},
        {"negative row", a.neighbourAt(4 * P, -3), 1, "invalidArgument", "names row -3"},
        {"zero mu", a.with(6, 0), 1, "invalidArgument", "mu (0)"},
        {"negative mu", a.with(6, -1), 1, "invalidArgument", "mu (-1)"},
        {"a graph no machine holds", a.with(5, 2e9f), 1, "tooLarge", "more than this machine's memory"},
    };
    expectRejected(graphsmooth(), "graphsmooth", table);
    // 2K − 1 weight planes are enough.
    std::vector<Array> v = a.valid(a.good());
    v[1] = standin::makeSingle({5, 6, 3}, std::vector<float>(pr.graph.weights.begin(), pr.graph.weights.begin() + 90));
    const CallResult r = graphsmooth().call(1, {v[0].get(), v[1].get(), v[2].get(), v[3].get()});
    EXPECT_FALSE(r.failed) << r.errorMessage;
}

TEST(GraphSolverPlugins, SurviveRandomParameterVectors)
{
    // Random, often invalid, parameters and array sizes: every call either
    // fails with an imrestore error or returns results of the asked size.
    std::mt19937 random(7);
    const float specials[] = {kNaN, kInf, -kInf, 0.0f, -0.0f, 1.0f, -1.0f, 2.5f, 1e10f, -1e10f};
    std::uniform_int_distribution<int> small(-1, 7), pick(0, 9);
    int succeeded = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const int M = std::max(1, small(random)), N = std::max(1, small(random)), K = std::max(0, small(random) / 2);
        const Problem pr(M, N, makeRandomGraph(M, N, K, 2, trial));
        std::vector<float> p = trial % 2 ? pr.shrinkParams(1, 2, 1, 2) : pr.smoothParams(1, 1, 2);
        for (float& v : p)
            if (pick(random) == 0)
                v = pick(random) < 5 ? specials[pick(random)] : static_cast<float>(small(random));
        const Array params = paramsArray(p);
        const CallResult r =
            trial % 2 ? graphshrink().call(4, {pr.image.get(), pr.fields.get(), pr.fields.get(), pr.image.get(),
                                              pr.weights.get(), pr.neighbours.get(), params.get()})
                      : graphsmooth().call(1, {pr.image.get(), pr.weights.get(), pr.neighbours.get(), params.get()});
        EXPECT_FALSE(r.argumentsWritten);
        if (r.failed) {
            EXPECT_EQ(r.errorId.rfind(trial % 2 ? "imrestore:graphshrink:" : "imrestore:graphsmooth:", 0), 0u);
            continue;
        }
        ++succeeded;
        EXPECT_EQ(standin::dimensions(r.results[0].get()),
                  (std::vector<mwSize>{mwSize(std::trunc(p[1])), mwSize(std::trunc(p[2]))}));
    }
    EXPECT_GT(succeeded, 100);
}
