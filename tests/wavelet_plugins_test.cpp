// waveanalyze and wavesynth called through the stand-in host.
#include "standin_plugins.h"
#include "wavelet/wavelet_transform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const standin::Plugin& plugin(const std::string& name) { return standinPlugin(name); }

Array scalar(double v) { return standin::makeDouble({1, 1}, {v}); }

std::vector<double> ramp(size_t count)
{
    std::vector<double> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = std::sin(0.3 * i) + 0.01 * i;
    return v;
}

} // namespace

TEST(WaveletPlugins, ReturnTheTransformAndTheLevelsUsed)
{
    const double r = 1 / std::sqrt(2.0);
    const Array haarRow = standin::makeDouble({1, 2}, {r, r}), haarColumn = standin::makeDouble({2, 1}, {r, r});
    const Array x = standin::makeDouble({16, 12}, ramp(192)), column = standin::makeDouble({20, 1}, ramp(20));
    // Default levels: 16×12 gives 2, a 20×1 column 2; the filter's orientation does not matter.
    const CallResult a = plugin("waveanalyze").call(1, {x.get(), haarRow.get()});
    const CallResult b = plugin("waveanalyze").call(2, {x.get(), haarColumn.get()});
    ASSERT_FALSE(a.failed || b.failed) << a.errorMessage << b.errorMessage;
    EXPECT_EQ(a.results.size(), 1u);
    EXPECT_EQ(standin::doubleData(b.results[1].get()), (std::vector<double>{2}));
    EXPECT_EQ(standin::doubleData(a.results[0].get()), standin::doubleData(b.results[0].get()));
    EXPECT_FALSE(a.argumentsWritten || b.argumentsWritten);
    const CallResult back = plugin("wavesynth").call(2, {b.results[0].get(), haarRow.get(), b.results[1].get()});
    ASSERT_FALSE(back.failed) << back.errorMessage;
    const std::vector<double> rebuilt = standin::doubleData(back.results[0].get()), original = ramp(192);
    for (size_t i = 0; i < rebuilt.size(); ++i)
        EXPECT_NEAR(rebuilt[i], original[i], 1e-13);
    const CallResult c = plugin("wavesynth").call(2, {column.get(), haarRow.get()});
    ASSERT_FALSE(c.failed);
    EXPECT_EQ(standin::dimensions(c.results[0].get()), (std::vector<mwSize>{20, 1}));
    EXPECT_EQ(standin::doubleData(c.results[1].get()), (std::vector<double>{2}));
    // L truncated toward zero; L = 0 and a 1×1 input with any L copy the input.
    const CallResult t = plugin("waveanalyze").call(2, {x.get(), haarRow.get(), scalar(2.7).get()});
    EXPECT_EQ(standin::doubleData(t.results[1].get()), (std::vector<double>{2}));
    for (const char* name : {"waveanalyze", "wavesynth"}) {
        const CallResult zero = plugin(name).call(2, {x.get(), haarRow.get(), scalar(-0.5).get()});
        EXPECT_EQ(standin::doubleData(zero.results[0].get()), ramp(192)) << name;
        const Array one = scalar(0.25);
        const CallResult single = plugin(name).call(2, {one.get(), haarRow.get(), scalar(3000).get()});
        ASSERT_FALSE(single.failed) << single.errorMessage;
        EXPECT_EQ(standin::doubleData(single.results[0].get()), (std::vector<double>{0.25}));
    }
}

TEST(WaveletPlugins, FiltersFarLongerThanTheSignalTakeTimeInProportion)
{
    // The synthesis wrapped each coefficient index back into the signal one
    // period at a time: a filter of 10^6 taps on a 4x4 image took minutes.
    const Array x = standin::makeDouble({4, 4}, ramp(16)), level = scalar(1);
    const Array filter = standin::makeDouble({1, 200000}, ramp(200000));
    const auto start = std::chrono::steady_clock::now();
    for (const char* name : {"waveanalyze", "wavesynth"}) {
        const CallResult r = plugin(name).call(1, {x.get(), filter.get(), level.get()});
        ASSERT_FALSE(r.failed) << name << ": " << r.errorMessage;
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
}

TEST(WaveletPlugins, MessagesInTheirOrder)
{
    const Array x = standin::makeDouble({12, 8}, ramp(96)), h = standin::makeDouble({1, 4}, {0.1, 0.2, 0.3, 0.4});
    const Array odd = standin::makeDouble({1, 3}, {1, 1, 1}), one = scalar(1), empty = standin::makeDouble({0, 0}, {});
    const Array single = standin::makeArray(mxSINGLE_CLASS, {12, 8}), complex = standin::makeArray(mxDOUBLE_CLASS, {1, 4}, mxCOMPLEX);
    const Array tiny = standin::makeDouble({3, 8}, ramp(24)), blank = standin::makeDouble({0, 8}, {});
    const Array wide = standin::makeDouble({16, 12}, ramp(192)), text = standin::makeArray(mxCHAR_CLASS, {1, 1});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Bad {
        const char* what;
        const char* function;
        std::vector<const mxArray*> args;
        const char* id;
        const char* message;
    };
    const Array L3 = scalar(3), Lminus = scalar(-1.2), Lnan = scalar(nan), L1024 = scalar(1024), Lhuge = scalar(3e9);
    const std::vector<Bad> table = {
        {"four arguments, all bad", "waveanalyze", {one.get(), one.get(), one.get(), one.get()}, "tooManyInputs",
         "There are at most 3 input parameters allowed!"},
        {"one argument", "wavesynth", {x.get()}, "notEnoughInputs", "There are at least 2 input parameters required!"},
        {"single data", "waveanalyze", {single.get(), h.get()}, "invalidArgument", "real, full double matrix"},
        {"complex filter", "wavesynth", {x.get(), complex.get()}, "invalidArgument", "filter (argument 2)"},
        {"empty filter", "waveanalyze", {x.get(), empty.get()}, "invalidArgument", "non-empty"},
        {"odd filter to invert", "wavesynth", {x.get(), odd.get()}, "invalidArgument", "even length of at least 2"},
        {"filter of one tap to invert", "wavesynth", {x.get(), one.get()}, "invalidArgument", "even length"},
        {"negative L", "waveanalyze", {x.get(), h.get(), Lminus.get()}, "invalidArgument",
         "The number of levels, L, must be a non-negative integer"},
        {"NaN L", "wavesynth", {x.get(), h.get(), Lnan.get()}, "invalidArgument", "must be finite"},
        {"L beyond 32 bits", "waveanalyze", {x.get(), h.get(), Lhuge.get()}, "invalidArgument", "32-bit"},
        {"empty L", "waveanalyze", {x.get(), h.get(), empty.get()}, "invalidArgument", "numeric scalar"},
        {"text L", "waveanalyze", {x.get(), h.get(), text.get()}, "invalidArgument", "numeric scalar"},
        {"no default level", "wavesynth", {tiny.get(), h.get()}, "noLevels",
         "Maximum number of levels is zero; no decomposition can be performed!"},
        {"empty data without L", "waveanalyze", {blank.get(), h.get()}, "noLevels", "Maximum number of levels is zero"},
        {"12 rows, L = 3", "waveanalyze", {x.get(), h.get(), L3.get()}, "invalidSize",
         "The matrix row dimension must be of size m*2^(L)"},
        {"12 columns, L = 3", "wavesynth", {wide.get(), h.get(), L3.get()}, "invalidSize",
         "The matrix column dimension must be of size n*2^(L)"},
        {"L = 1024", "waveanalyze", {x.get(), h.get(), L1024.get()}, "invalidSize", "row dimension"},
    };
    for (const Bad& bad : table)
        expectRejected(bad.function, {bad.what, bad.args, 1, bad.id, bad.message});
    // Empty data with a given L passes and gives an empty result.
    const CallResult r = plugin("waveanalyze").call(2, {blank.get(), h.get(), L3.get()});
    ASSERT_FALSE(r.failed) << r.errorMessage;
    EXPECT_EQ(standin::dimensions(r.results[0].get()), (std::vector<mwSize>{0, 8}));
}
