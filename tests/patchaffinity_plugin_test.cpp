// patchaffinity called through the stand-in host.
#include "affinity/patch_affinity.h"
#include "standin_plugins.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const standin::Plugin& patchaffinity() { return standinPlugin("patchaffinity"); }

Array scalar(double v) { return standin::makeDouble({1, 1}, {v}); }

Array imageArray(int M, int N)
{
    const std::vector<float> f = makeTestImage(M, N, 0.2f);
    return standin::makeDouble({mwSize(M), mwSize(N)}, std::vector<double>(f.begin(), f.end()));
}

} // namespace

TEST(PatchaffinityPlugin, BuildsTheSparseMatrixWithItsDefaults)
{
    const int M = 15, N = 18;
    const Array image = imageArray(M, N), h = scalar(0.2), unused = scalar(7), p = scalar(3.9), t = scalar(6);
    std::vector<double> values(affinityEntries(M, N, 6));
    std::vector<std::int64_t> rows(values.size()), starts(M * N + 1);
    ASSERT_TRUE(buildPatchAffinity(mxGetPr(image.get()), M, N, 3, 6, 0.2, 1, values.data(), rows.data(), starts.data()));
    // The defaults, and up to two further arguments that are not read.
    for (const std::vector<const mxArray*>& args : {std::vector<const mxArray*>{image.get(), h.get()},
                                                   {image.get(), h.get(), p.get(), t.get(), unused.get(), unused.get()}}) {
        const CallResult r = patchaffinity().call(1, args);
        ASSERT_FALSE(r.failed) << r.errorMessage;
        const mxArray* W = r.results[0].get();
        ASSERT_TRUE(mxIsSparse(W));
        EXPECT_EQ(mxGetM(W), size_t(M * N));
        EXPECT_EQ(mxGetN(W), size_t(M * N));
        EXPECT_EQ(mxGetNzmax(W), values.size());   // room for the entries the windows hold
        const mwIndex* jc = mxGetJc(W);
        const mwIndex* ir = mxGetIr(W);
        ASSERT_EQ(jc[M * N], values.size());
        EXPECT_TRUE(std::equal(values.begin(), values.end(), mxGetPr(W)));
        for (size_t e = 0; e < values.size(); ++e)
            ASSERT_EQ(ir[e], size_t(rows[e]));
        for (int i = 0; i <= M * N; ++i)
            ASSERT_EQ(jc[i], size_t(starts[i]));
        EXPECT_FALSE(r.argumentsWritten);
    }
}

TEST(PatchaffinityPlugin, RejectsBadInputBeforeDoingAnything)
{
    const Array image = imageArray(6, 5), h = scalar(0.5), p = scalar(2), t = scalar(3);
    const Array single = standin::makeArray(mxSINGLE_CLASS, {6, 5}), complex = standin::makeArray(mxDOUBLE_CLASS, {6, 5}, mxCOMPLEX);
    const Array sparse(mxCreateSparse(6, 5, 2, mxREAL)), empty = standin::makeDouble({0, 0}, {});
    const Array text = standin::makeArray(mxCHAR_CLASS, {1, 1}), zero = scalar(0), negative = scalar(-1),
                nan = scalar(std::numeric_limits<double>::quiet_NaN()), inf = scalar(std::numeric_limits<double>::infinity()),
                five = scalar(5), big = imageArray(3000, 3000), hugeWindow = scalar(2900), tiny = scalar(-1e-155);
    const std::vector<RejectedCall> table = {
        {"no argument", {}, 1, "notEnoughInputs", "At least one inputs required."},
        {"seven arguments", {image.get(), h.get(), p.get(), t.get(), p.get(), p.get(), p.get()}, 1, "tooManyInputs",
         "Too many inputs required."},
        {"no result", {image.get(), h.get()}, 0, "notEnoughOutputs", "One output required."},
        {"two results", {image.get(), h.get()}, 2, "tooManyOutputs", "One output required."},
        {"no h", {image.get()}, 1, "notEnoughInputs", "filtering parameter h"},
        {"single image", {single.get(), h.get()}, 1, "invalidArgument", "real, full, non-empty double"},
        {"complex image", {complex.get(), h.get()}, 1, "invalidArgument", "real, full"},
        {"sparse image", {sparse.get(), h.get()}, 1, "invalidArgument", "full"},
        {"empty image", {empty.get(), h.get()}, 1, "invalidArgument", "non-empty"},
        {"empty h", {image.get(), empty.get()}, 1, "invalidArgument", "H (argument 2) must be a numeric scalar"},
        {"text h", {image.get(), text.get()}, 1, "invalidArgument", "H (argument 2) must be a numeric scalar"},
        {"h NaN", {image.get(), nan.get()}, 1, "invalidArgument", "H (argument 2) must be finite"},
        {"h zero", {image.get(), zero.get()}, 1, "invalidArgument", "must not be 0"},
        {"h whose square underflows", {image.get(), tiny.get()}, 1, "invalidArgument", "2*H^2 would underflow"},
        {"p infinite", {image.get(), h.get(), inf.get()}, 1, "invalidArgument", "PATCHRADIUS (argument 3) must be finite"},
        {"p negative", {image.get(), h.get(), negative.get()}, 1, "invalidArgument", "must not be negative"},
        {"p not below the image sizes", {image.get(), h.get(), five.get()}, 1, "invalidArgument",
         "must be smaller than both image sizes"},
        {"t negative", {image.get(), h.get(), p.get(), negative.get()}, 1, "invalidArgument",
         "SEARCHRADIUS (argument 4) must not be negative"},
        {"t empty", {image.get(), h.get(), p.get(), empty.get()}, 1, "invalidArgument", "SEARCHRADIUS"},
        {"beyond memory", {big.get(), h.get(), p.get(), hugeWindow.get()}, 1, "tooLarge", "entries"},
    };
    for (const RejectedCall& bad : table)
        expectRejected("patchaffinity", bad);
}

TEST(PatchaffinityPlugin, AsksForTheRoomTheCutWindowsNeed)
{
    // A search window far wider than the image: 9 entries, where n*(2t+1)^2
    // asked for 108 million (seconds and gigabytes).
    const Array column = standin::makeDouble({3, 1}, {0.1, 0.5, 0.9}), h = scalar(0.1), p = scalar(0),
                t = scalar(3000);
    const CallResult r = patchaffinity().call(1, {column.get(), h.get(), p.get(), t.get()});
    ASSERT_FALSE(r.failed) << r.errorMessage;
    EXPECT_EQ(mxGetNzmax(r.results[0].get()), 9u);
    EXPECT_EQ(mxGetJc(r.results[0].get())[3], 9u);
}
