#include "affinity/patch_affinity.h"

#include "common/work_memory.h"

#include "simd/kernels.h"

#include "common/parallel_ranges.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>


namespace imrestore {

void buildExtendedImage(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, int p, double* extended)
{
    const std::ptrdiff_t Me = M + 2 * p, Ne = N + 2 * p;
    for (std::ptrdiff_t xx = 0; xx < Ne; ++xx) {
        const double* column = image + M * mirrorIndex(xx - p, N);
        for (std::ptrdiff_t yy = 0; yy < Me; ++yy)
            extended[yy + Me * xx] = column[mirrorIndex(yy - p, M)];
    }
}

void buildPatchKernel(int p, std::ptrdiff_t extendedRows, double h, double* kernel, std::int32_t* offset)
{
    const double sigma = (2.0 * p) / 4.0;
    double sum = 0.0;
    int e = 0;
    for (int r = -p; r <= p; ++r)
        for (int s = -p; s <= p; ++s, ++e) {
            offset[e] = static_cast<std::int32_t>(r + s * extendedRows);
            kernel[e] = p == 0 ? 1.0 : std::exp(-static_cast<double>(r * r + s * s) / ((2.0 * sigma) * sigma));
            sum = sum + kernel[e];
        }
    for (e = e - 1; e >= 0; --e)
        kernel[e] = kernel[e] / (((2.0 * sum) * h) * h);
}

double patchDistance(const double* extended, std::ptrdiff_t a, std::ptrdiff_t b, const double* kernel,
                     const std::int32_t* offset, int entries)
{
    double sum = 0.0;
    for (int e = 0; e < entries; ++e) {
        const double difference = extended[a + offset[e]] - extended[b + offset[e]];
        sum = sum + kernel[e] * (difference * difference);
    }
    return sum;
}

void simd::patchDistancesScalar(const PatchDistances& a, Range first, Range last)
{
    for (Range k = first; k < last; ++k)
        a.out[k] = patchDistance(a.extended, a.a, a.b + k, a.kernel, a.offset, a.entries);
}

namespace {

// Clipped window extent along a side of `size` pixels at coordinate c.
inline std::ptrdiff_t windowLow(std::ptrdiff_t c, int t) { return std::max<std::ptrdiff_t>(c - t, 0); }
inline std::ptrdiff_t windowHigh(std::ptrdiff_t c, int t, std::ptrdiff_t size)
{
    return std::min<std::ptrdiff_t>(c + t, size - 1);
}

struct Layout {
    std::ptrdiff_t M, N;
    int t;
    std::vector<std::int64_t> columnPrefix;   // Σ of clipped window widths of the image columns before x
    std::vector<std::int64_t> rowPrefix;      // Σ of clipped window heights of the image rows before y

    std::int64_t height(std::ptrdiff_t y) const { return rowPrefix[y + 1] - rowPrefix[y]; }
    // Where the entries of pixel (x, y)'s column of the matrix start.
    std::int64_t start(std::ptrdiff_t x, std::ptrdiff_t y) const
    {
        return columnPrefix[x] * rowPrefix[M] + (columnPrefix[x + 1] - columnPrefix[x]) * rowPrefix[y];
    }
    // The entry of row (xi, yi) in the column of pixel (xj, yj).
    std::int64_t position(std::ptrdiff_t xj, std::ptrdiff_t yj, std::ptrdiff_t xi, std::ptrdiff_t yi) const
    {
        return start(xj, yj) + (xi - windowLow(xj, t)) * height(yj) + (yi - windowLow(yj, t));
    }
};

struct Patches {
    const double* extended;
    std::ptrdiff_t Me;
    int p;
    const double* kernel;
    const std::int32_t* offset;
    int entries;
    const simd::Kernels* kernels;
    std::ptrdiff_t at(std::ptrdiff_t x, std::ptrdiff_t y) const { return (y + p) + Me * (x + p); }
};

// out[k] ← exp(−d) for the pixels (x′, y′ + k), k = 0..count−1, against the
// patch at a.
void weightRun(const Patches& q, std::ptrdiff_t a, std::ptrdiff_t x2, std::ptrdiff_t y2, std::ptrdiff_t count,
               double* out)
{
    const simd::PatchDistances run{q.extended, a, q.at(x2, y2), q.kernel, q.offset, q.entries, out};
    q.kernels->patchDistances(run, 0, count);
    for (std::ptrdiff_t k = 0; k < count; ++k)
        out[k] = std::exp(-out[k]);
}

// Fills the matrix columns of pixels [first, last). A weight of a pixel j
// before i in the same range was written into j's column already and is
// copied: both directions of a pair have the same squared differences.
// At the start of each image column the caller's thread polls `stop` and
// the others look whether it has said stop; the fill then ends there.
void fillColumns(const Layout& L, const Patches& q, std::ptrdiff_t first, std::ptrdiff_t last, double* values,
                 std::int64_t* rowIndex, std::int64_t* columnStart, StopCheck* stop, bool callerThread)
{
    const std::ptrdiff_t M = L.M, N = L.N;
    const int t = L.t;
    for (std::ptrdiff_t i = first; i < last; ++i) {
        const std::ptrdiff_t x = i / M, y = i % M, a = q.at(x, y);
        if ((y == 0 || i == first) && (callerThread ? pollStop(stop) : isStopped(stop)))
            return;
        std::int64_t count = L.start(x, y);
        columnStart[i] = count;
        const std::ptrdiff_t ylo = windowLow(y, t), yhi = windowHigh(y, t, M);
        for (std::ptrdiff_t x2 = windowLow(x, t); x2 <= windowHigh(x, t, N); ++x2) {
            std::ptrdiff_t y2 = ylo;
            while (y2 <= yhi) {
                const std::ptrdiff_t j = y2 + M * x2;
                if (j == i) {
                    values[count] = 1.0;
                    rowIndex[count++] = j;
                    ++y2;
                } else if (j < i && j >= first) {
                    values[count] = values[L.position(x2, y2, x, y)];
                    rowIndex[count++] = j;
                    ++y2;
                } else {
                    // A run of weights to compute: up to the pixel itself or
                    // the end of the window column.
                    const std::ptrdiff_t end = (x2 == x && y2 < y) ? y - 1 : yhi;
                    const std::ptrdiff_t run = end - y2 + 1;
                    weightRun(q, a, x2, y2, run, values + count);
                    for (std::ptrdiff_t k = 0; k < run; ++k)
                        rowIndex[count + k] = j + k;
                    count += run;
                    y2 = end + 1;
                }
            }
        }
    }
}

} // namespace

std::int64_t affinityEntries(std::ptrdiff_t M, std::ptrdiff_t N, int t)
{
    std::int64_t heights = 0, widths = 0;
    for (std::ptrdiff_t y = 0; y < M; ++y)
        heights += windowHigh(y, t, M) - windowLow(y, t) + 1;
    for (std::ptrdiff_t x = 0; x < N; ++x)
        widths += windowHigh(x, t, N) - windowLow(x, t) + 1;
    return heights * widths;
}

bool buildPatchAffinity(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, int p, int t, double h,
                        int threads, double* values, std::int64_t* rowIndex, std::int64_t* columnStart,
                        StopCheck* stop)
{
    const std::ptrdiff_t Me = M + 2 * p, Ne = N + 2 * p, n = M * N;
    const int entries = (2 * p + 1) * (2 * p + 1);
    const WorkArray<double> extendedImage(static_cast<std::size_t>(Me * Ne)), patchKernel(static_cast<std::size_t>(entries));
    const WorkArray<std::int32_t> patchOffset(static_cast<std::size_t>(entries));
    double* extended = extendedImage.get();
    double* kernel = patchKernel.get();
    std::int32_t* offset = patchOffset.get();
    Layout layout{M, N, t, {}, {}};
    bool ok = extended && kernel && offset;
    if (ok) {
        try {
            layout.columnPrefix.assign(static_cast<size_t>(N + 1), 0);
            layout.rowPrefix.assign(static_cast<size_t>(M + 1), 0);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (ok) {
        for (std::ptrdiff_t x = 0; x < N; ++x)
            layout.columnPrefix[x + 1] = layout.columnPrefix[x] + windowHigh(x, t, N) - windowLow(x, t) + 1;
        for (std::ptrdiff_t y = 0; y < M; ++y)
            layout.rowPrefix[y + 1] = layout.rowPrefix[y] + windowHigh(y, t, M) - windowLow(y, t) + 1;
        buildExtendedImage(image, M, N, p, extended);
        buildPatchKernel(p, Me, h, kernel, offset);
        const Patches patches{extended, Me, p, kernel, offset, entries, &simd::kernels()};
        // Columns split between threads by pixel; each column's start is
        // known, so the ranges are filled independently.
        forEachRange(n, threads, 1, 4096, [&](std::ptrdiff_t first, std::ptrdiff_t last, int worker) {
            fillColumns(layout, patches, first, last, values, rowIndex, columnStart, stop, worker == 0);
        });
        columnStart[n] = layout.columnPrefix[N] * layout.rowPrefix[M];
        ok = !isStopped(stop);
    }
    return ok;
}

} // namespace imrestore
