// Times tvclean's Bregman iterations on a generated image and reports the
// time per iteration: blocks of five iterations, each followed by the
// relative-change check, as the plug-in runs them, after a first block that
// touches the work memory.
//
//   bench_tvclean [--size M N] [--blocks B] [--repeat R] [--mu MU] [--raw FILE]
//
// --raw reads an M×N image of float64 values stored column by column.
#include "bench_common.h"
#include "tv/rof_denoise.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

using namespace imrestore;

int main(int argc, char** argv)
{
    int M = 512, N = 512, blocks = 20, repeat = 3;
    double mu = 0.1;
    std::string raw;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto next = [&] { return optionValue(argc, argv, a); };
        if (arg == "--size") {
            M = std::atoi(next());
            N = std::atoi(next());
        } else if (arg == "--blocks") blocks = std::atoi(next());
        else if (arg == "--repeat") repeat = std::atoi(next());
        else if (arg == "--mu") mu = std::atof(next());
        else if (arg == "--raw") raw = next();
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    const std::vector<double> image = benchImage(M, N, raw);

    double best = 1e300;
    for (int r = 0; r < std::max(1, repeat); ++r) {
        RofFields s{};
        ColumnMatrix previous{};
        if (!(newColumnMatrix(N, M, &s.u) && newColumnMatrix(N - 1, M, &s.dx) && newColumnMatrix(N, M - 1, &s.dy) &&
              newColumnMatrix(N - 1, M, &s.bx) && newColumnMatrix(N, M - 1, &s.by) &&
              newColumnMatrix(N, M, &s.scaledData) && newColumnMatrix(N, M, &s.divergence) &&
              newColumnMatrix(N, M, &previous))) {
            std::fprintf(stderr, "out of memory\n");
            return 1;
        }
        for (int x = 0; x < N; ++x)
            for (int y = 0; y < M; ++y) {
                s.u.column[x][y] = image[y + static_cast<size_t>(M) * x];
                s.scaledData.column[x][y] = mu * s.u.column[x][y];
            }
        // One block first, outside the timing: it touches the fresh work memory.
        bregmanBlock(s, mu, 2.0 * mu, 1, 5);
        relativeChange(s.u, previous);
        const auto start = std::chrono::steady_clock::now();
        for (int b = 0; b < blocks; ++b) {
            bregmanBlock(s, mu, 2.0 * mu, 1, 5);
            relativeChange(s.u, previous);
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("tvclean %dx%d mu %g iterations %d\n", M, N, mu, 5 * blocks);
    std::printf("seconds per Bregman iteration %.6f\n", best / (5.0 * blocks));
    return 0;
}
