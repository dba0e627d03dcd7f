#include "recipes/wavelet_recipe.h"

#include "common/task_queue.h"
#include "common/work_memory.h"
#include "wavelet/wavelet_transform.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace imrestore {

const double kDaubechies8[8] = {0.2303778133088964,  0.7148465705529154, 0.6308807679298587, -0.0279837694168599,
                                -0.1870348117190931, 0.0308413818355607, 0.0328830116668852, -0.0105974017850690};

namespace {

// 0-based source index of each of the `total` places: 0..n−1, then
// round(linspace(n, 1, total − n)) − 1, linspace built symmetrically from
// both ends as the host builds it.
std::vector<std::ptrdiff_t> mirroredIndex(std::ptrdiff_t n, std::ptrdiff_t total)
{
    std::vector<std::ptrdiff_t> index(static_cast<std::size_t>(total));
    for (std::ptrdiff_t i = 0; i < n; ++i)
        index[i] = i;
    const std::ptrdiff_t k = total - n;
    std::vector<double> line(static_cast<std::size_t>(k));
    const double x1 = static_cast<double>(n), x2 = 1.0;
    if (k == 1) {
        line[0] = x2;
    } else {
        const double delta = (x2 - x1) / static_cast<double>(k - 1);
        line[0] = x1;
        line[k - 1] = x2;
        for (std::ptrdiff_t i = 1; i < k / 2; ++i) {
            line[i] = x1 + static_cast<double>(i) * delta;
            line[k - 1 - i] = x2 - static_cast<double>(i) * delta;
        }
        if (k % 2 == 1)
            line[k / 2] = (x1 + x2) / 2;
    }
    for (std::ptrdiff_t i = 0; i < k; ++i)
        index[n + i] = static_cast<std::ptrdiff_t>(std::round(line[i])) - 1;
    return index;
}

// Soft thresholds on every detail subband of the L-level transform y
// (Mp×Np); the smallest and largest threshold go to thresholds[0], [1].
void shrinkDetails(double* y, std::ptrdiff_t Mp, std::ptrdiff_t Np, int L, double sigma, double scale,
                   double thresholds[2])
{
    const double sigma2 = std::pow(sigma, 2.0);
    thresholds[0] = INFINITY;
    thresholds[1] = -INFINITY;
    for (int level = 1; level <= L; ++level) {
        const std::ptrdiff_t rows = Mp >> level, cols = Np >> level;
        const std::ptrdiff_t top[3] = {0, rows, rows}, left[3] = {cols, 0, cols};
        for (int b = 0; b < 3; ++b) {
            double* band = y + top[b] + Mp * left[b];
            double squares = 0;
            for (std::ptrdiff_t j = 0; j < cols; ++j) {
                const double* column = band + Mp * j;
                for (std::ptrdiff_t i = 0; i < rows; ++i)
                    squares += column[i] * column[i];
            }
            const double spread = std::sqrt(std::max(squares / static_cast<double>(rows * cols) - sigma2, 0.0));
            double t = scale * sigma2 / spread;
            if (!(spread > 0)) {   // all noise: the subband goes
                t = 0;
                for (std::ptrdiff_t j = 0; j < cols; ++j)
                    for (std::ptrdiff_t i = 0; i < rows; ++i)
                        t = std::max(t, std::fabs(band[i + Mp * j]));
            }
            thresholds[0] = std::min(thresholds[0], t);
            thresholds[1] = std::max(thresholds[1], t);
            // sign(d)·max(|d| − t, 0), as selections that run in vectors.
            for (std::ptrdiff_t j = 0; j < cols; ++j) {
                double* column = band + Mp * j;
                for (std::ptrdiff_t i = 0; i < rows; ++i) {
                    // sign(d)·m: m, −m (−0 when m is 0) or, for d = ±0, +0.
                    const double d = column[i], shrunk = std::fabs(d) - t;
                    const double m = shrunk > 0 ? shrunk : 0.0;
                    column[i] = d > 0 ? m : d < 0 ? -m : 0.0;
                }
            }
        }
    }
}

} // namespace

int waveletRecipeLevels(std::ptrdiff_t M, std::ptrdiff_t N, int levels)
{
    int floorLog2 = -1;
    for (std::ptrdiff_t side = std::min(M, N); side > 0; side >>= 1)
        ++floorLog2;
    return std::min(levels, floorLog2);
}

bool denoiseWaveletChannel(const double* f, std::ptrdiff_t M, std::ptrdiff_t N, double sigma,
                           const WaveletRecipe& recipe, double* u, StopCheck* stop, int threads, const RecipeLog* log)
{
    const int L = waveletRecipeLevels(M, N, recipe.levels);
    if (L < 1 || sigma == 0) {
        std::copy(f, f + M * N, u);
        return true;
    }
    const std::ptrdiff_t step = std::ptrdiff_t{1} << L;
    const std::ptrdiff_t Mp = (2 * M + step - 1) / step * step, Np = (2 * N + step - 1) / step * step;
    const std::ptrdiff_t shifts = recipe.shifts, count = shifts * shifts;
    const std::size_t extended = static_cast<std::size_t>(Mp * Np), pixels = static_cast<std::size_t>(M * N);
    std::vector<std::ptrdiff_t> rowIndex, columnIndex;
    try {
        rowIndex = mirroredIndex(M, Mp);
        columnIndex = mirroredIndex(N, Np);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The shifts run `batch` at a time, side by side; their results join
    // the sum in order.
    const std::ptrdiff_t batch = std::max(1, std::min<int>(threads, static_cast<int>(std::min<std::ptrdiff_t>(count, 64))));
    const WorkArray<double> x(extended), sum(pixels, 0.0), shiftResults(static_cast<std::size_t>(batch) * pixels);
    if (!x || !sum || !shiftResults)
        return false;
    for (std::ptrdiff_t j = 0; j < Np; ++j)
        for (std::ptrdiff_t i = 0; i < Mp; ++i)
            x[i + Mp * j] = f[rowIndex[i] + M * columnIndex[j]];
    double lastThresholds[2] = {0, 0};
    std::atomic<bool> failed{false};
    for (std::ptrdiff_t first = 0; first < count && !failed.load() && !isStopped(stop); first += batch) {
        const std::ptrdiff_t tasks = std::min(batch, count - first);
        runTasks(tasks, threads, stop, [&](std::ptrdiff_t task, StopCheck* taskStop) {
            if (failed.load() || pollStop(taskStop))
                return;
            const std::ptrdiff_t shift = first + task;
            // Shifts past a side wrap around, as circshift's do.
            const std::ptrdiff_t dy = shift / shifts % Mp, dx = shift % shifts % Np;
            const std::size_t workSize =
                std::max(forwardWorkSize(Mp, Np, recipe.taps), inverseWorkSize(Mp, Np, recipe.taps));
            const WorkArray<double> shifted(extended), transform(extended), work(workSize);
            if (!shifted || !transform || !work) {
                failed.store(true);
                return;
            }
            // circshift(x, [dy dx]), then back after the thresholds: column
            // j takes column j − dx, its rows turned down by dy.
            for (std::ptrdiff_t j = 0; j < Np; ++j) {
                const double* source = x.get() + Mp * ((j - dx + Np) % Np);
                double* column = shifted.get() + Mp * j;
                std::copy(source + Mp - dy, source + Mp, column);
                std::copy(source, source + Mp - dy, column + dy);
            }
            // A shift of a large image takes a while: polled between its passes.
            forwardWavelet(shifted.get(), Mp, Np, recipe.filter, recipe.taps, L, transform.get(), work.get(), 1,
                           taskStop);
            if (pollStop(taskStop))
                return;
            double bounds[2];
            shrinkDetails(transform.get(), Mp, Np, L, sigma, recipe.scale, bounds);
            if (pollStop(taskStop))
                return;
            if (shift == count - 1) {
                lastThresholds[0] = bounds[0];
                lastThresholds[1] = bounds[1];
            }
            inverseWavelet(shifted.get(), Mp, Np, recipe.filter, recipe.taps, L, transform.get(), work.get(), 1,
                           taskStop);
            if (pollStop(taskStop))
                return;
            double* result = shiftResults.get() + task * static_cast<std::ptrdiff_t>(pixels);
            for (std::ptrdiff_t j = 0; j < N; ++j) {
                const double* source = shifted.get() + Mp * ((j + dx) % Np);
                double* column = result + M * j;
                const std::ptrdiff_t before = std::min(M, Mp - dy);   // rows dy.. that precede the wrap
                std::copy(source + dy, source + dy + before, column);
                std::copy(source, source + (M - before), column + before);
            }
        });
        for (std::ptrdiff_t task = 0; task < tasks; ++task) {
            const double* result = shiftResults.get() + task * static_cast<std::ptrdiff_t>(pixels);
            for (std::size_t k = 0; k < pixels; ++k)
                sum[k] += result[k];
        }
    }
    if (failed.load() || isStopped(stop))
        return false;
    const double divisor = static_cast<double>(count);
    for (std::size_t k = 0; k < pixels; ++k)
        u[k] = sum[k] / divisor;
    logLine(log, "wavedenoise: sigma %.4g, %d levels, %d shifts, thresholds from %.4g to %.4g\n", sigma, L,
            static_cast<int>(count), lastThresholds[0], lastThresholds[1]);
    return true;
}

} // namespace imrestore
