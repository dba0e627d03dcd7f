// tvclean called through the stand-in host.
#include "tv/rof_denoise.h"
#include "standin_plugins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

const standin::Plugin& tvclean() { return standinPlugin("tvclean"); }

std::vector<double> noisySquare(int M, int N)
{
    std::vector<double> image(size_t(M) * N);
    std::uint32_t state = 5;
    for (int x = 0; x < N; ++x)
        for (int y = 0; y < M; ++y) {
            state = state * 1664525u + 1013904223u;
            image[y + size_t(M) * x] = (x > N / 3 && y > M / 3 ? 1.0 : 0.0) + 0.2 * ((state >> 8) / 16777216.0 - 0.5);
        }
    return image;
}

Array scalar(double v) { return standin::makeDouble({1, 1}, {v}); }

} // namespace

TEST(TvcleanPlugin, ReturnsTheDenoisedImageWhateverNlhs)
{
    const std::vector<double> image = noisySquare(20, 30);
    std::vector<double> expected(image.size());
    ASSERT_TRUE(denoiseRof(image.data(), 20, 30, 2.0, 1e-4, expected.data()));
    const Array f = standin::makeDouble({20, 30}, image), mu = scalar(2.0), tol = scalar(1e-4);
    for (int nlhs : {0, 1}) {
        const CallResult r = tvclean().call(nlhs, {f.get(), mu.get(), tol.get()});
        ASSERT_FALSE(r.failed) << r.errorMessage;
        ASSERT_EQ(r.results.size(), 1u);
        EXPECT_EQ(standin::dimensions(r.results[0].get()), (std::vector<mwSize>{20, 30}));
        EXPECT_EQ(standin::doubleData(r.results[0].get()), expected);
        EXPECT_FALSE(r.argumentsWritten);
        EXPECT_EQ(r.output, "");
    }
    // μ and the tolerance may be of any numeric class; a complex image gives its real part's result.
    const Array single = standin::makeSingle({1, 1}, {2.0f}), complex = standin::makeArray(mxDOUBLE_CLASS, {20, 30}, mxCOMPLEX);
    std::copy(image.begin(), image.end(), mxGetPr(complex.get()));
    const CallResult r = tvclean().call(1, {complex.get(), single.get(), tol.get()});
    ASSERT_FALSE(r.failed) << r.errorMessage;
    EXPECT_EQ(standin::doubleData(r.results[0].get()), expected);
}

TEST(TvcleanPlugin, RejectsBadInputBeforeDoingAnything)
{
    const Array f = standin::makeDouble({6, 5}, noisySquare(6, 5)), mu = scalar(1), tol = scalar(1e-3);
    const Array singleImage = standin::makeArray(mxSINGLE_CLASS, {6, 5}), sparse(mxCreateSparse(6, 5, 3, mxREAL));
    const Array row = standin::makeDouble({1, 5}, {1, 2, 3, 4, 5}), column = standin::makeDouble({5, 1}, {1, 2, 3, 4, 5});
    const Array empty = standin::makeDouble({0, 0}, {}), text = standin::makeArray(mxCHAR_CLASS, {1, 1});
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const Array zero = scalar(0), negative = scalar(-1), notANumber = scalar(nan), infinite = scalar(inf),
                tiny = scalar(1e-12), subnormal = scalar(5e-324), huge = scalar(1e308);
    const std::vector<RejectedCall> table = {
        {"two arguments", {f.get(), mu.get()}, 1, "notEnoughInputs", "Three input arguments required."},
        {"four arguments", {f.get(), mu.get(), tol.get(), tol.get()}, 1, "tooManyInputs", "Three input arguments required."},
        {"two results", {f.get(), mu.get(), tol.get()}, 2, "tooManyOutputs", "Too many output arguments."},
        {"single image", {singleImage.get(), mu.get(), tol.get()}, 1, "invalidArgument", "Input array must be of type double."},
        {"sparse image", {sparse.get(), mu.get(), tol.get()}, 1, "invalidArgument", "not a sparse one"},
        {"one row", {row.get(), mu.get(), tol.get()}, 1, "invalidArgument", "at least two rows and two columns"},
        {"one column", {column.get(), mu.get(), tol.get()}, 1, "invalidArgument", "at least two rows"},
        {"empty mu", {f.get(), empty.get(), tol.get()}, 1, "invalidArgument", "MU (argument 2) must be a numeric"},
        {"text tolerance", {f.get(), mu.get(), text.get()}, 1, "invalidArgument", "TOLERANCE (argument 3) must be a numeric"},
        {"mu 0", {f.get(), zero.get(), tol.get()}, 1, "invalidArgument", "MU (argument 2) must be finite and above 0"},
        {"mu NaN", {f.get(), notANumber.get(), tol.get()}, 1, "invalidArgument", "MU (argument 2)"},
        {"mu Inf", {f.get(), infinite.get(), tol.get()}, 1, "invalidArgument", "MU (argument 2)"},
        // A subnormal mu never met its tolerance; a huge one gave NaN.
        {"subnormal mu", {f.get(), subnormal.get(), tol.get()}, 1, "invalidArgument", "range of normal doubles"},
        {"huge mu", {f.get(), huge.get(), tol.get()}, 1, "invalidArgument", "MU (argument 2) must lie between"},
        {"tolerance 0", {f.get(), mu.get(), zero.get()}, 1, "invalidArgument", "TOLERANCE (argument 3) must be finite"},
        {"negative tolerance", {f.get(), mu.get(), negative.get()}, 1, "invalidArgument", "at least 1e-10"},
        {"NaN tolerance", {f.get(), mu.get(), notANumber.get()}, 1, "invalidArgument", "TOLERANCE (argument 3)"},
        {"tolerance below the rounding level", {f.get(), mu.get(), tiny.get()}, 1, "invalidArgument", "would not end"},
    };
    for (const RejectedCall& bad : table)
        expectRejected("tvclean", bad);
}
