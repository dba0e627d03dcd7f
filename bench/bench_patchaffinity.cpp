// Times patchaffinity's matrix on a generated image and reports million patch
// distances per second (off-diagonal entries of the matrix per second).
//
//   bench_patchaffinity [--size M N] [--patch P] [--search T] [--h H] [--threads T] [--repeat R] [--raw FILE]
//
// --raw reads an M×N image of float64 values stored column by column.
#include "bench_common.h"
#include "affinity/patch_affinity.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace imrestore;

int main(int argc, char** argv)
{
    int M = 256, N = 256, p = 3, t = 6, repeat = 3;
    double h = 0.1;
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string raw;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto next = [&] { return optionValue(argc, argv, a); };
        if (arg == "--size") {
            M = std::atoi(next());
            N = std::atoi(next());
        } else if (arg == "--patch") p = std::atoi(next());
        else if (arg == "--search") t = std::atoi(next());
        else if (arg == "--h") h = std::atof(next());
        else if (arg == "--threads") threads = std::atoi(next());
        else if (arg == "--repeat") repeat = std::atoi(next());
        else if (arg == "--raw") raw = next();
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    const std::vector<double> image = benchImage(M, N, raw);
    const std::int64_t entries = affinityEntries(M, N, t);
    const long before = peakResidentKiB();
    std::vector<double> values(entries);
    std::vector<std::int64_t> rows(entries), starts(static_cast<size_t>(M) * N + 1);
    std::fill(values.begin(), values.end(), 0.0);
    std::fill(rows.begin(), rows.end(), 0);
    const long withResult = peakResidentKiB();
    double best = 1e300;
    long afterFirst = 0;
    for (int r = 0; r < std::max(1, repeat); ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!buildPatchAffinity(image.data(), M, N, p, t, h, threads, values.data(), rows.data(), starts.data())) {
            std::fprintf(stderr, "out of memory\n");
            return 1;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
        if (r == 0)
            afterFirst = peakResidentKiB();
    }
    const double distances = static_cast<double>(entries - static_cast<std::int64_t>(M) * N);
    std::printf("patchaffinity %dx%d patch radius %d search radius %d threads %d entries %lld\n", M, N, p, t, threads,
                static_cast<long long>(entries));
    std::printf("seconds %.4f\n", best);
    std::printf("million patch distances per second %.1f\n", distances / best / 1e6);
    std::printf("peak memory beyond the result MiB %.1f\n", std::max(0L, afterFirst - std::max(before, withResult)) / 1024.0);
    return 0;
}
