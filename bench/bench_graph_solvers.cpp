// Times graphsmooth's sweeps and graphshrink's outer iterations on the patch
// graph of a generated image and reports nanoseconds per slot entry.
//
//   bench_graph_solvers [--size M N] [--iterations T] [--threads T] [--repeat R]
//                       [--dump PREFIX]
//
// The graph: patch 5, window 11, nearest 4, best 10 (K = 14). Each figure is
// the time of T outer iterations (best of R calls) divided by T, without the
// per-call set-up (work memory, sweep layout), which is reported beside it.
// --dump writes the graph's weights (PREFIX.weights.f32) and neighbours
// (PREFIX.neighbours.i32) as the host holds them, for comparisons.
#include "bench_common.h"
#include "nonlocal/graph_solvers.h"
#include "nonlocal/patch_graph.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace imrestore;

namespace {

void writeRaw(const std::string& path, const void* data, size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
}

} // namespace

int main(int argc, char** argv)
{
    int M = 512, N = 512, iterations = 10, repeat = 3;
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string dump;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto next = [&] { return optionValue(argc, argv, a); };
        if (arg == "--size") {
            M = std::atoi(next());
            N = std::atoi(next());
        } else if (arg == "--iterations") iterations = std::atoi(next());
        else if (arg == "--threads") threads = std::atoi(next());
        else if (arg == "--repeat") repeat = std::atoi(next());
        else if (arg == "--dump") dump = next();
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    const PatchGraphSettings settings{5, 11, 4, 10, 0.05f};
    const std::ptrdiff_t K = settings.nearest + settings.best, P = static_cast<std::ptrdiff_t>(M) * N;
    const std::vector<float> image = makeImage(M, N);
    std::vector<float> kernel(25);
    for (int b = 0; b < 5; ++b)
        for (int a = 0; a < 5; ++a)
            kernel[a + 5 * b] = static_cast<float>(std::exp(-((a - 2) * (a - 2) + (b - 2) * (b - 2)) / 2.0));
    std::vector<float> weights(static_cast<size_t>(2 * K * P));
    std::vector<std::int32_t> neighbours(static_cast<size_t>((2 * K + 1) * P));
    GraphArrays arrays{M, N, K, weights.data(), neighbours.data()};
    if (!buildPatchGraph(image.data(), kernel.data(), settings, threads, arrays)) {
        std::fprintf(stderr, "out of memory\n");
        return 1;
    }
    if (!dump.empty()) {
        writeRaw(dump + ".weights.f32", weights.data(), weights.size() * sizeof(float));
        writeRaw(dump + ".neighbours.i32", neighbours.data(), neighbours.size() * sizeof(std::int32_t));
    }
    const GraphInput graph{M, N, K, weights.data(), neighbours.data()};
    const double entries = static_cast<double>(P) * K;

    // Each solver timed with one and with 1 + T outer iterations: the
    // difference is T iterations without the per-call set-up.
    std::vector<float> u(image.size());
    auto smooth = [&](int nOuter) {
        return bestSeconds(repeat, [&] {
            u = image;
            if (!solveNonlocalH1(u.data(), image.data(), graph, KeptLayout::unchecked, 10.0f, nOuter, threads))
                std::exit(1);
        });
    };
    std::vector<float> d(static_cast<size_t>(K * P)), b(d.size());
    auto shrink = [&](int nOuter, bool verbose) {
        return bestSeconds(repeat, [&] {
            u = image;
            std::fill(d.begin(), d.end(), 0.0f);
            std::fill(b.begin(), b.end(), 0.0f);
            float last = 0.0f;
            auto keep = [](float change, void* context) { *static_cast<float*>(context) = change; };
            const NonlocalTvFields fields{u.data(), d.data(), b.data(), u.data(), d.data(), b.data()};
            if (!solveNonlocalTv(fields, image.data(), graph, KeptLayout::unchecked, {20.0f, 10.0f, nOuter}, threads,
                                 verbose ? ProgressReport(keep) : nullptr, &last))
                std::exit(1);
        });
    };
    struct Figure {
        const char* name;
        double setUp, perUnit;
    };
    // unitsPerIteration: sweeps (graphsmooth makes two per outer iteration) or outer iterations.
    auto measure = [&](const char* name, int unitsPerIteration, auto run) {
        const double one = run(1), more = run(1 + iterations);
        const double perIteration = (more - one) / iterations;
        return Figure{name, one - perIteration, perIteration / unitsPerIteration};
    };
    const Figure figures[] = {
        measure("graphsmooth sweep", 2, [&](int n) { return smooth(n); }),
        measure("graphshrink outer iteration", 1, [&](int n) { return shrink(n, false); }),
        measure("graphshrink verbose outer iteration", 1, [&](int n) { return shrink(n, true); }),
    };

    std::printf("graph solvers %dx%d K %td iterations %d threads %d\n", M, N, K, iterations, threads);
    for (const Figure& f : figures)
        std::printf("%s seconds %.6f ns per slot entry %.3f set-up seconds %.6f\n", f.name, f.perUnit,
                    f.perUnit / entries * 1e9, f.setUp);
    return 0;
}
