// Times waveanalyze's and wavesynth's transforms: a 2048×2048 image with 5
// levels and a 2^20-sample signal with 10 levels, Daubechies filter of
// length 8 (the default sizes; levels capped by the default depth).
//
//   bench_wavelet [--size M N] [--levels L] [--signal S] [--signal-levels L] [--repeat R]
#include "bench_common.h"
#include "wavelet/wavelet_transform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace imrestore;

namespace {

const double kDaubechies8[8] = {0.2303778133088964, 0.7148465705529154, 0.6308807679298587, -0.0279837694168599,
                                -0.1870348117190931, 0.0308413818355607, 0.0328830116668852, -0.0105974017850690};

void timeBoth(const char* what, std::ptrdiff_t m, std::ptrdiff_t n, int L, int repeat)
{
    std::vector<double> x(static_cast<size_t>(m * n)), y(x.size()), z(x.size());
    std::uint32_t state = 7;
    for (double& v : x) {
        state = state * 1664525u + 1013904223u;
        v = (state >> 8) / 16777216.0;
    }
    std::vector<double> work(std::max(forwardWorkSize(m, n, 8), inverseWorkSize(m, n, 8)));
    const double forward = bestSeconds(repeat, [&] { forwardWavelet(x.data(), m, n, kDaubechies8, 8, L, y.data(), work.data()); });
    const double inverse = bestSeconds(repeat, [&] { inverseWavelet(z.data(), m, n, kDaubechies8, 8, L, y.data(), work.data()); });
    double error = 0;
    for (size_t i = 0; i < x.size(); ++i)
        error = std::max(error, std::fabs(z[i] - x[i]));
    std::printf("%s %tdx%td levels %d forward seconds %.6f inverse seconds %.6f reconstruction error %.3g\n", what, m, n,
                L, forward, inverse, error);
}

} // namespace

int main(int argc, char** argv)
{
    std::ptrdiff_t M = 2048, N = 2048, S = 1 << 20;
    int L = 5, signalLevels = 10, repeat = 5;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto next = [&] { return optionValue(argc, argv, a); };
        if (arg == "--size") {
            M = std::atol(next());
            N = std::atol(next());
        } else if (arg == "--levels") L = std::atoi(next());
        else if (arg == "--signal") S = std::atol(next());
        else if (arg == "--signal-levels") signalLevels = std::atoi(next());
        else if (arg == "--repeat") repeat = std::atoi(next());
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    timeBoth("image", M, N, std::min(L, defaultLevels(M, N)), repeat);
    timeBoth("signal", 1, S, std::min(signalLevels, defaultLevels(1, S)), repeat);
    return 0;
}
