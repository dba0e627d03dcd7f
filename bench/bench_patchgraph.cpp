// Times patchgraph's graph construction and reports million patch distances
// per second (every pixel against every position of its search window).
//
//   bench_patchgraph [--size M N] [--patch P] [--window W] [--nearest 0|4]
//                    [--best B] [--h H] [--threads T] [--repeat R] [--raw FILE]
//
// --raw reads an M×N image of float32 values stored column by column;
// otherwise a natural-looking image is generated deterministically.
#include "bench_common.h"
#include "nonlocal/patch_graph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace imrestore;


int main(int argc, char** argv)
{
    int M = 512, N = 512, repeat = 3;
    PatchGraphSettings s{5, 11, 4, 10, 0.05f};
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string raw;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto next = [&] { return optionValue(argc, argv, a); };
        if (arg == "--size") {
            M = std::atoi(next());
            N = std::atoi(next());
        } else if (arg == "--patch") s.patchSide = std::atoi(next());
        else if (arg == "--window") s.windowSide = std::atoi(next());
        else if (arg == "--nearest") s.nearest = std::atoi(next());
        else if (arg == "--best") s.best = std::atoi(next());
        else if (arg == "--h") s.h = static_cast<float>(std::atof(next()));
        else if (arg == "--threads") threads = std::atoi(next());
        else if (arg == "--repeat") repeat = std::atoi(next());
        else if (arg == "--raw") raw = next();
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    std::vector<float> image;
    if (raw.empty()) {
        image = makeImage(M, N);
    } else {
        image.resize(static_cast<size_t>(M) * N);
        if (!readRaw(raw, image)) {
            std::fprintf(stderr, "cannot read %d x %d floats from %s\n", M, N, raw.c_str());
            return 2;
        }
    }
    std::vector<float> kernel(static_cast<size_t>(s.patchSide) * s.patchSide);
    const double c = (s.patchSide - 1) / 2.0;
    for (int b = 0; b < s.patchSide; ++b)
        for (int a = 0; a < s.patchSide; ++a)
            kernel[a + s.patchSide * b] = static_cast<float>(std::exp(-((a - c) * (a - c) + (b - c) * (b - c)) / 2.0));

    const std::ptrdiff_t K = s.nearest + s.best, P = static_cast<std::ptrdiff_t>(M) * N;
    const long before = peakResidentKiB();
    std::vector<float> weights(static_cast<size_t>(2 * K * P));
    std::vector<std::int32_t> neighbours(static_cast<size_t>((2 * K + 1) * P));
    const long withResults = peakResidentKiB();
    GraphArrays graph{M, N, K, weights.data(), neighbours.data()};

    // The first call alone measures the work memory (later calls may reuse
    // what the allocator kept); the time is the best of all calls.
    double best = 1e300;
    long afterFirstCall = 0;
    for (int r = 0; r < std::max(1, repeat); ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!buildPatchGraph(image.data(), kernel.data(), s, threads, graph)) {
            std::fprintf(stderr, "out of memory\n");
            return 1;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
        if (r == 0)
            afterFirstCall = peakResidentKiB();
    }
    const int side = 2 * ((s.windowSide - 1) / 2) + 1;
    const double distances = static_cast<double>(P) * side * side;
    std::printf("patchgraph %dx%d patch %d window %d nearest %d best %d threads %d\n", M, N, s.patchSide,
                s.windowSide, s.nearest, s.best, threads);
    std::printf("seconds %.4f\n", best);
    std::printf("million patch distances per second %.1f\n", distances / best / 1e6);
    std::printf("peak memory beyond the results MiB %.1f\n",
                std::max(0L, afterFirstCall - std::max(before, withResults)) / 1024.0);
    return 0;
}
