// Times the denoisers' recipes in the core on one channel, without a host.
//
//   bench_recipes [--size M N] [--sigma S] [--repeat R] [--threads T] [--only NAME] [--verbose]
//
// The image is bench_common.h's stand-in photograph with Gaussian noise of
// standard deviation S (default 0.08). Prints the median of R runs (default
// 5) per recipe: noiselevel, tvdenoise, wavedenoise, nltvdenoise and
// nlh1denoise with their defaults, the noise level estimated. --verbose
// prints the recipes' lines, each after the wall-clock milliseconds since
// the recipe started, to see where the time goes.
#include "bench_common.h"

#include "recipes/noise_level.h"
#include "recipes/nonlocal_recipe.h"
#include "recipes/tv_recipe.h"
#include "recipes/wavelet_recipe.h"

#include <cstring>
#include <functional>
#include <random>

using namespace imrestore;

int main(int argc, char** argv)
{
    int M = 512, N = 512, repeat = 5, threads = 2;
    double noise = 0.08;
    std::string only;
    bool verbose = false;
    for (int a = 1; a < argc; ++a) {
        const std::string option = argv[a];
        if (option == "--size") {
            M = std::atoi(optionValue(argc, argv, a));
            N = std::atoi(optionValue(argc, argv, a));
        } else if (option == "--sigma") {
            noise = std::atof(optionValue(argc, argv, a));
        } else if (option == "--repeat") {
            repeat = std::atoi(optionValue(argc, argv, a));
        } else if (option == "--threads") {
            threads = std::atoi(optionValue(argc, argv, a));
        } else if (option == "--verbose") {
            verbose = true;
        } else if (option == "--only") {
            only = optionValue(argc, argv, a);
        } else {
            std::fprintf(stderr, "usage: bench_recipes [--size M N] [--sigma S] [--repeat R] [--threads T] [--only NAME]\n");
            return 2;
        }
    }
    const std::vector<float> clean = makeImage(M, N);
    std::vector<double> f(clean.size()), u(clean.size());
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, noise);
    for (std::size_t k = 0; k < f.size(); ++k)
        f[k] = clean[k] + gauss(random);
    const double sigma = estimateNoiseLevel(f.data(), M, N, threads);
    std::printf("image %dx%d, noise %.3f, estimated %.4f, %d threads\n", M, N, noise, sigma, threads);

    auto start = std::chrono::steady_clock::now();
    const RecipeLog printer{[](const char* line, void* context) {
                                const auto* since = static_cast<std::chrono::steady_clock::time_point*>(context);
                                const double ms = 1e3 * std::chrono::duration<double>(
                                                            std::chrono::steady_clock::now() - *since).count();
                                std::printf("  %8.1f ms  %s", ms, line[0] == '\n' ? line + 1 : line);
                            },
                            &start};
    const RecipeLog* log = verbose ? &printer : nullptr;
    const NonlocalRecipe nltv{NonlocalModel::tv, 5, 11, 10, 0, 1, 0, 15};
    const NonlocalRecipe nlh1{NonlocalModel::h1, 5, 11, 10, 0, 1, 0, 10};
    const std::vector<std::pair<const char*, std::function<bool()>>> recipes = {
        {"noiselevel", [&] { return estimateNoiseLevel(f.data(), M, N, threads) > 0; }},
        {"tvdenoise", [&] { double mu; return denoiseTvChannel(f.data(), M, N, sigma, 0, 1e-3, u.data(), &mu, nullptr, threads, log); }},
        {"wavedenoise", [&] { return denoiseWaveletChannel(f.data(), M, N, sigma, kDefaultWaveletRecipe, u.data(), nullptr, threads, log); }},
        {"nltvdenoise", [&] { return denoiseNonlocal("nltvdenoise", f.data(), M, N, 1, &sigma, nltv, u.data(), nullptr, threads, log); }},
        {"nlh1denoise", [&] { return denoiseNonlocal("nlh1denoise", f.data(), M, N, 1, &sigma, nlh1, u.data(), nullptr, threads, log); }},
    };
    for (const auto& recipe : recipes) {
        if (!only.empty() && only != recipe.first)
            continue;
        std::vector<double> seconds;
        for (int r = 0; r < repeat; ++r) {
            start = std::chrono::steady_clock::now();
            if (!recipe.second()) {
                std::fprintf(stderr, "%s failed\n", recipe.first);
                return 1;
            }
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf("%-12s median %7.1f ms  (best %7.1f)\n", recipe.first, 1e3 * seconds[seconds.size() / 2],
                    1e3 * seconds[0]);
    }
    return 0;
}
