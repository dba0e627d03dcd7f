// The denoisers' recipes: the same bits on any number of threads, the
// imrestore_denoise gateway's refusals, and Ctrl-C while its solves run side
// by side. That the recipes give the bits of the same recipes written over
// the plug-ins is checked from Octave (tests/octave/recipes_match_literal.m).
#include "recipes/noise_level.h"
#include "recipes/tv_recipe.h"
#include "recipes/wavelet_recipe.h"
#include "standin_plugins.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

using namespace imrestore;
using standin::Array;
using standin::CallResult;

namespace {

std::vector<double> noisyImage(int M, int N, std::uint32_t seed = 3)
{
    const std::vector<float> f = makeTestImage(M, N, 0.3f, seed);
    return std::vector<double>(f.begin(), f.end());
}

const double kDaubechies4[8] = {0.2303778133088964, 0.7148465705529154,  0.6308807679298587, -0.0279837694168599,
                                -0.1870348117190931, 0.0308413818355607, 0.0328830116668852, -0.0105974017850690};

// Runs a call with IMRESTORE_THREADS set to `threads`.
CallResult callOnThreads(const char* threads, int nlhs, const std::vector<const mxArray*>& args)
{
    setenv("IMRESTORE_THREADS", threads, 1);
    CallResult r = standinPlugin("imrestore_denoise").call(nlhs, args);
    unsetenv("IMRESTORE_THREADS");
    return r;
}

} // namespace

TEST(DenoiseRecipes, GiveTheSameBitsOnAnyNumberOfThreads)
{
    const int M = 45, N = 38;
    const std::vector<double> f = noisyImage(M, N);
    const double sigma = estimateNoiseLevel(f.data(), M, N);
    ASSERT_GT(sigma, 0.03);
    std::vector<double> one(f.size()), more(f.size());
    double mu1 = 0, mu2 = 0;
    ASSERT_TRUE(denoiseTvChannel(f.data(), M, N, sigma, 0, 1e-3, one.data(), &mu1, nullptr, 1));
    for (int threads : {2, 3, 11}) {
        ASSERT_TRUE(denoiseTvChannel(f.data(), M, N, sigma, 0, 1e-3, more.data(), &mu2, nullptr, threads));
        EXPECT_EQ(mu1, mu2);
        EXPECT_EQ(one, more) << threads << " threads";
    }
    const WaveletRecipe recipe{kDaubechies4, 8, 5, 1, 3};
    ASSERT_TRUE(denoiseWaveletChannel(f.data(), M, N, sigma, recipe, one.data(), nullptr, 1));
    for (int threads : {2, 4, 9}) {
        ASSERT_TRUE(denoiseWaveletChannel(f.data(), M, N, sigma, recipe, more.data(), nullptr, threads));
        EXPECT_EQ(one, more) << threads << " threads";
    }
}

TEST(ImrestoreDenoisePlugin, RefusesBadInputBeforeDoingAnything)
{
    const std::vector<double> f = noisyImage(12, 10);
    const Array tv = standin::makeString("tvdenoise"), wavelet = standin::makeString("wavedenoise"),
                noise = standin::makeString("noiselevel"), unknown = standin::makeString("tvdenoisex");
    const Array image = standin::makeDouble({12, 10}, f);
    const Array single = standin::makeArray(mxSINGLE_CLASS, {12, 10});
    std::vector<double> withNaN = f;
    withNaN[7] = std::numeric_limits<double>::quiet_NaN();
    const Array nanImage = standin::makeDouble({12, 10}, withNaN);
    const Array row = standin::makeDouble({1, 5}, {1, 2, 3, 4, 5});
    const Array none = standin::makeDouble({0, 0}, {}), twoSigmas = standin::makeDouble({1, 2}, {0.1, 0.2});
    const Array negativeSigma = standin::makeDouble({1, 1}, {-0.1}), tinySigma = standin::makeDouble({1, 1}, {1e-310});
    const Array tvSettings = standin::makeDouble({1, 3}, {0, 1e-3, 0}), shortSettings = standin::makeDouble({1, 2}, {0, 1e-3});
    const Array hugeMu = standin::makeDouble({1, 3}, {1e308, 1e-3, 0}), tinyTolerance = standin::makeDouble({1, 3}, {0, 1e-12, 0});
    const Array waveSettings = standin::makeDouble({1, 4}, {3, 1, 2, 0}), manyShifts = standin::makeDouble({1, 4}, {3, 1, 65, 0});
    const Array halfLevel = standin::makeDouble({1, 4}, {2.5, 1, 2, 0});
    const Array haar = standin::makeDouble({1, 2}, {0.7071067811865476, 0.7071067811865476});
    const Array oddFilter = standin::makeDouble({1, 3}, {1, 1, 1});
    struct Bad {
        const char* what;
        std::vector<const mxArray*> args;
        const char* id;
        const char* message;
    };
    const std::vector<Bad> table = {
        {"no image", {tv.get()}, "imrestore:imrestore_denoise:notEnoughInputs", "METHOD and an image"},
        {"unknown method", {unknown.get(), image.get()}, "imrestore:imrestore_denoise:invalidArgument", "'tvdenoise'"},
        {"numeric method", {image.get(), image.get()}, "imrestore:imrestore_denoise:invalidArgument", "METHOD"},
        {"single image", {tv.get(), single.get(), none.get(), tvSettings.get()}, "imrestore:tvdenoise:invalidImage",
         "of doubles"},
        {"NaN in the image", {wavelet.get(), nanImage.get(), none.get(), waveSettings.get(), haar.get()},
         "imrestore:wavedenoise:invalidImage", "must be finite"},
        {"noise level of one row", {noise.get(), row.get()}, "imrestore:noiselevel:invalidImage", "at least 2-by-2"},
        {"noise level with more", {noise.get(), image.get(), none.get()}, "imrestore:noiselevel:tooManyInputs", "one image"},
        {"no settings", {tv.get(), image.get(), none.get()}, "imrestore:tvdenoise:notEnoughInputs", "settings"},
        {"two noise levels, one channel", {tv.get(), image.get(), twoSigmas.get(), tvSettings.get()},
         "imrestore:tvdenoise:invalidOption", "'Sigma' has 2 values but the image has 1 channels"},
        {"negative noise level", {tv.get(), image.get(), negativeSigma.get(), tvSettings.get()},
         "imrestore:tvdenoise:invalidOption", "positive noise level"},
        {"noise level whose weights overflow", {tv.get(), image.get(), tinySigma.get(), tvSettings.get()},
         "imrestore:tvdenoise:invalidOption", "give 'Mu' instead"},
        {"short settings", {tv.get(), image.get(), none.get(), shortSettings.get()}, "imrestore:tvdenoise:invalidOption",
         "3 real doubles"},
        {"weight beyond the iteration's range", {tv.get(), image.get(), none.get(), hugeMu.get()},
         "imrestore:tvdenoise:invalidOption", "'Mu' must lie between"},
        {"tolerance below 1e-10", {tv.get(), image.get(), none.get(), tinyTolerance.get()},
         "imrestore:tvdenoise:invalidOption", "'Tolerance'"},
        {"65 shifts", {wavelet.get(), image.get(), none.get(), manyShifts.get(), haar.get()},
         "imrestore:wavedenoise:invalidOption", "'Shifts' must be a positive integer of at most 64"},
        {"half a level", {wavelet.get(), image.get(), none.get(), halfLevel.get(), haar.get()},
         "imrestore:wavedenoise:invalidOption", "'Levels'"},
        {"odd filter", {wavelet.get(), image.get(), none.get(), waveSettings.get(), oddFilter.get()},
         "imrestore:wavedenoise:invalidOption", "'Filter' must be a real vector of even length"},
    };
    for (const Bad& bad : table) {
        SCOPED_TRACE(bad.what);
        const CallResult r = standinPlugin("imrestore_denoise").call(1, bad.args);
        ASSERT_TRUE(r.failed);
        EXPECT_EQ(r.errorId, bad.id);
        EXPECT_NE(r.errorMessage.find(bad.message), std::string::npos) << r.errorMessage;
        EXPECT_FALSE(r.argumentsWritten);
        EXPECT_TRUE(r.results.empty());
    }
}

TEST(ImrestoreDenoisePlugin, StopsCleanlyWhileItsSolvesRunSideBySide)
{
    const int M = 40, N = 34, C = 2;
    std::vector<double> x = noisyImage(M, N);
    const std::vector<double> second = noisyImage(M, N, 8);
    x.insert(x.end(), second.begin(), second.end());
    const Array image = standin::makeDouble({mwSize(M), mwSize(N), mwSize(C)}, x);
    const Array tv = standin::makeString("tvdenoise"), wavelet = standin::makeString("wavedenoise");
    const Array none = standin::makeDouble({0, 0}, {});
    const Array tvSettings = standin::makeDouble({1, 3}, {0, 1e-4, 1});
    const Array waveSettings = standin::makeDouble({1, 4}, {4, 1, 3, 1});
    const Array filter = standin::makeDouble({1, 8}, std::vector<double>(kDaubechies4, kDaubechies4 + 8));
    for (const std::vector<const mxArray*>& args :
         {std::vector<const mxArray*>{tv.get(), image.get(), none.get(), tvSettings.get()},
          std::vector<const mxArray*>{wavelet.get(), image.get(), none.get(), waveSettings.get(), filter.get()}}) {
        const CallResult one = callOnThreads("1", 2, args), two = callOnThreads("2", 2, args);
        ASSERT_FALSE(one.failed) << one.errorMessage;
        ASSERT_FALSE(two.failed) << two.errorMessage;
        EXPECT_EQ(standin::doubleData(one.results[0].get()), standin::doubleData(two.results[0].get()));
        EXPECT_EQ(one.output, two.output);
        EXPECT_NE(one.output.find("denoise: sigma"), std::string::npos) << one.output;
        EXPECT_GE(one.interruptPolls, 3);
        // On one thread the polls are those of the plain call; on two the
        // caller's thread asks fewer times, and when is up to the scheduler.
        const long P = one.interruptPolls;
        for (const char* threads : {"1", "2"})
            for (long poll : threads[0] == '1' ? std::vector<long>{1, 2, P / 2, P} : std::vector<long>{1, 2, 3}) {
                SCOPED_TRACE(std::string(threads) + " threads, poll " + std::to_string(poll));
                setenv("IMRESTORE_THREADS", threads, 1);
                const CallResult r = standinPlugin("imrestore_denoise").callInterrupted(poll, 2, args);
                unsetenv("IMRESTORE_THREADS");
                ASSERT_TRUE(r.failed);
                EXPECT_NE(r.errorId.find(":interrupted"), std::string::npos) << r.errorId;
                EXPECT_TRUE(r.results.empty());
                EXPECT_FALSE(r.argumentsWritten);
                EXPECT_FALSE(r.hostCalledFromOtherThread);
            }
        setenv("IMRESTORE_THREADS", "1", 1);
        const CallResult late = standinPlugin("imrestore_denoise").callInterrupted(P + 1, 2, args);
        unsetenv("IMRESTORE_THREADS");
        ASSERT_FALSE(late.failed) << late.errorMessage;
        EXPECT_EQ(standin::doubleData(late.results[0].get()), standin::doubleData(one.results[0].get()));
    }
}
