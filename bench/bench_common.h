// Test data and measurements shared by the benchmarks.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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

