// Test data and measurements shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace imrestore {

// Smooth shapes, a ramp, stripes, fine texture and noise: a stand-in for a photograph.
inline std::vector<float> makeImage(int M, int N)
{
    std::vector<float> image(static_cast<size_t>(M) * N);
    std::uint32_t state = 12345u;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            state = state * 1664525u + 1013904223u;
            const double noise = (state >> 8) / 16777216.0 - 0.5;
            const double x = (j + 0.5) / N, y = (i + 0.5) / M;
            double v = 0.25 + 0.3 * x + 0.05 * std::sin(40 * x) * std::cos(31 * y);
            if ((x - 0.3) * (x - 0.3) + (y - 0.35) * (y - 0.35) < 0.03)
                v = 0.8 + 0.05 * std::sin(90 * y);
            if (std::fabs(x - 0.72) < 0.12 && std::fabs(y - 0.6) < 0.25)
                v = 0.12;
            if (y > 0.85)
                v = (static_cast<int>(x * 24) % 2) ? 0.3 : 0.7;
            image[i + static_cast<size_t>(M) * j] = static_cast<float>(v + 0.1 * noise);
        }
    return image;
}

// Peak resident memory of this process in KiB (Linux's VmHWM, which, unlike
// getrusage, does not start from the parent's peak).
inline long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}


// The value after the option at argv[a] (a moves to it); exits with a
// message when the value is missing.
inline const char* optionValue(int argc, char** argv, int& a)
{
    if (a + 1 >= argc) {
        std::fprintf(stderr, "%s needs a value\n", argv[a]);
        std::exit(2);
    }
    return argv[++a];
}

// Fills `data` from a raw file of its element type; false when the file is short.
template <class T>
bool readRaw(const std::string& path, std::vector<T>& data)
{
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size() * sizeof(T))));
}

// The shortest wall time of `repeat` (at least one) calls of run().
template <class Run>
double bestSeconds(int repeat, Run run)
{
    double best = 1e300;
    for (int r = 0; r < (repeat > 1 ? repeat : 1); ++r) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = elapsed.count() < best ? elapsed.count() : best;
    }
    return best;
}

// The M×N double image of a benchmark: read from a raw file of column-major
// doubles when one is named, else generated. Exits when the file is short.
inline std::vector<double> benchImage(int M, int N, const std::string& raw)
{
    std::vector<double> image(static_cast<size_t>(M) * N);
    if (raw.empty()) {
        const std::vector<float> generated = makeImage(M, N);
        std::copy(generated.begin(), generated.end(), image.begin());
    } else if (!readRaw(raw, image)) {
        std::fprintf(stderr, "cannot read %d x %d doubles from %s\n", M, N, raw.c_str());
        std::exit(2);
    }
    return image;
}

} // namespace imrestore
