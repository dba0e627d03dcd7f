#include "recipes/noise_level.h"

#include "common/work_memory.h"
#include "wavelet/wavelet_transform.h"

#include <algorithm>
#include <cmath>

namespace imrestore {

namespace {

const double kDaubechies2[4] = {0.4829629131445341, 0.8365163037378079, 0.2241438680420134, -0.1294095225512604};

} // namespace

double estimateNoiseLevel(const double* x, std::ptrdiff_t M, std::ptrdiff_t N, int threads)
{
    const std::ptrdiff_t M2 = M / 2 * 2, N2 = N / 2 * 2;
    const std::size_t pixels = static_cast<std::size_t>(M2 * N2);
    const WorkArray<double> evenPart(pixels), transform(pixels), work(forwardWorkSize(M2, N2, 4, threads));
    if (!evenPart || !transform || !work)
        return -1;
    for (std::ptrdiff_t j = 0; j < N2; ++j)
        std::copy(x + M * j, x + M * j + M2, evenPart.get() + M2 * j);
    forwardWavelet(evenPart.get(), M2, N2, kDaubechies2, 4, 1, transform.get(), work.get(), threads);
    // The diagonal details, bottom right, reuse the copy's memory.
    double* magnitude = evenPart.get();
    const std::ptrdiff_t rows = M2 / 2, cols = N2 / 2, count = rows * cols;
    for (std::ptrdiff_t j = 0; j < cols; ++j)
        for (std::ptrdiff_t i = 0; i < rows; ++i)
            magnitude[i + rows * j] = std::fabs(transform[(rows + i) + M2 * (cols + j)]);
    const std::ptrdiff_t k = (count + 1) / 2 - 1;   // the lower middle, 0-based
    std::nth_element(magnitude, magnitude + k, magnitude + count);
    double median = magnitude[k];
    if (count % 2 == 0)
        median = (median + *std::min_element(magnitude + k + 1, magnitude + count)) / 2;
    return median / 0.6745;
}

} // namespace imrestore
