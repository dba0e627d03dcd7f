// Deterministic test images.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace imrestore {

// A smooth M×N scene (disc, ramp and stripes, values in 0..1) plus uniform
// noise of the given amplitude, column-major; the same for the same seed.
inline std::vector<float> makeTestImage(int M, int N, float noise, std::uint32_t seed = 1)
{
    std::vector<float> image(static_cast<size_t>(M) * N);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M; ++i) {
            state = state * 1664525u + 1013904223u;
            const float u = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
            const float x = (j + 0.5f) / N, y = (i + 0.5f) / M;
            float v = 0.2f + 0.3f * x;
            if ((x - 0.6f) * (x - 0.6f) + (y - 0.4f) * (y - 0.4f) < 0.06f)
                v = 0.85f;
            if (y > 0.75f)
                v = (static_cast<int>(x * 12) % 2) ? 0.1f : 0.6f;
            image[i + static_cast<size_t>(M) * j] = v + noise * u;
        }
    return image;
}

// patchSide×patchSide Gaussian weights exp(-(a²+b²)/(2σ²)), column-major.
inline std::vector<float> makeGaussianKernel(int patchSide, float sigma)
{
    std::vector<float> kernel(static_cast<size_t>(patchSide) * patchSide);
    const float c = (patchSide - 1) / 2.0f;
    for (int b = 0; b < patchSide; ++b)
        for (int a = 0; a < patchSide; ++a)
            kernel[a + patchSide * b] = std::exp(-((a - c) * (a - c) + (b - c) * (b - c)) / (2 * sigma * sigma));
    return kernel;
}

} // namespace imrestore
