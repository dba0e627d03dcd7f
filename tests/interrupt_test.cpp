// Ctrl-C through the stand-in host: every long-running plug-in polls on the
// host's thread, and an interrupt at any poll ends the call cleanly (no
// result, arguments untouched, work memory and threads released: the
// sanitizer build reports any leak), while a call the user lets run gives
// the same bits as ever.
#include "solver_fixture.h"
#include "standin_plugins.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

struct LongCall {
    const char* function;
    int nlhs;
    std::vector<const mxArray*> args;
};

// The bytes of every result, to compare two calls bit for bit.
std::vector<std::vector<unsigned char>> resultBytes(const CallResult& r)
{
    std::vector<std::vector<unsigned char>> bytes;
    for (const Array& a : r.results) {
        const unsigned char* data = static_cast<const unsigned char*>(mxGetData(a.get()));
        const size_t size = mxIsSparse(a.get()) ? mxGetNzmax(a.get()) * sizeof(double)
                                                : mxGetNumberOfElements(a.get()) * (mxIsDouble(a.get()) ? 8 : 4);
        bytes.emplace_back(data, data + size);
    }
    return bytes;
}

void expectCleanInterrupts(const LongCall& c)
{
    SCOPED_TRACE(c.function);
    const standin::Plugin& plugin = standinPlugin(c.function);
    const CallResult plain = plugin.call(c.nlhs, c.args);
    ASSERT_FALSE(plain.failed) << plain.errorMessage;
    ASSERT_GE(plain.interruptPolls, 3) << "a long call must ask whether to stop";
    EXPECT_FALSE(plain.hostCalledFromOtherThread);

    const long P = plain.interruptPolls;
    for (long poll : std::set<long>{1, 2, P / 2, P - 1, P}) {
        SCOPED_TRACE(poll);
        const CallResult r = plugin.callInterrupted(poll, c.nlhs, c.args);
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(r.errorId, std::string("imrestore:") + c.function + ":interrupted");
        EXPECT_EQ(r.interruptPolls, poll) << "no poll after the interrupt";
        EXPECT_TRUE(r.results.empty());
        EXPECT_FALSE(r.argumentsWritten);
        EXPECT_FALSE(r.hostCalledFromOtherThread);
        EXPECT_EQ(r.output.find("Computing Time"), std::string::npos);
        EXPECT_EQ(r.output.find("Memory allocation failure"), std::string::npos);
    }
    const CallResult late = plugin.callInterrupted(P + 1, c.nlhs, c.args);
    ASSERT_FALSE(late.failed) << late.errorMessage;
    EXPECT_EQ(resultBytes(late), resultBytes(plain));
}

Array singleRow(const std::vector<float>& v) { return standin::makeSingle({1, mwSize(v.size())}, v); }
Array doubleScalar(double v) { return standin::makeDouble({1, 1}, {v}); }

} // namespace

TEST(Interrupt, GraphPluginsStopCleanlyAtEveryPoll)
{
    const int M = 40, N = 36, K = 14;
    const std::vector<float> f = makeTestImage(M, N, 0.2f);
    const OwnedArrays g = makePatchGraph(M, N, 5, 11, 4, 10);
    const Array image = standin::makeSingle({mwSize(M), mwSize(N)}, f);
    const Array kernel = standin::makeSingle({5, 5}, makeGaussianKernel(5, 1.0f));
    const Array weights = standin::makeSingle({mwSize(N), mwSize(M), 2 * K}, g.weights);
    const Array neighbours = standin::makeInt32({mwSize(N), mwSize(M), 2 * K + 1}, g.neighbours);
    const Array fields = standin::makeSingle({mwSize(N), mwSize(M), K}, std::vector<float>(size_t(M) * N * K));
    const Array graphParams = singleRow({0, float(M), float(N), 5, 11, 4, 10, 0.05f});
    const Array shrinkParams = singleRow({1, float(M), float(N), 5, 11, float(K), 8, 4, 4});
    const Array smoothParams = singleRow({1, float(M), float(N), 5, 11, float(K), 0.5f, 4});

    expectCleanInterrupts({"patchgraph", 3, {image.get(), kernel.get(), graphParams.get()}});
    expectCleanInterrupts({"graphshrink", 4, {image.get(), fields.get(), fields.get(), image.get(), weights.get(),
                                              neighbours.get(), shrinkParams.get()}});
    expectCleanInterrupts({"graphsmooth", 1, {image.get(), weights.get(), neighbours.get(), smoothParams.get()}});
}

TEST(Interrupt, TvcleanAndPatchaffinityStopCleanlyAtEveryPoll)
{
    const std::vector<float> f = makeTestImage(30, 26, 0.2f);
    const Array image = standin::makeDouble({30, 26}, std::vector<double>(f.begin(), f.end()));
    const Array mu = doubleScalar(5), tolerance = doubleScalar(1e-6), h = doubleScalar(0.2), p = doubleScalar(2),
                t = doubleScalar(3);
    expectCleanInterrupts({"tvclean", 1, {image.get(), mu.get(), tolerance.get()}});
    expectCleanInterrupts({"patchaffinity", 1, {image.get(), h.get(), p.get(), t.get()}});
}
