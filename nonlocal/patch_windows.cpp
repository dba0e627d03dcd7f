#include "nonlocal/patch_windows.h"

#include "common/fast_math.h"

#include <algorithm>

namespace imrestore {

namespace {

constexpr int kLanes = kWindowLanes;

// Patch extents around a pixel: rows i−up..i+down, columns j−left..j+right.
struct Extents {
    std::ptrdiff_t up, down, left, right;
};

constexpr std::ptrdiff_t kColumnsPerTask = 4;
constexpr std::ptrdiff_t kVisitsPerTask = 32;
constexpr std::ptrdiff_t kBandChunkVisits = 2048;

// Patch extents of pixel (i, j), clipped at the image border.
Extents clippedExtents(const PatchWindows& c, std::ptrdiff_t i, std::ptrdiff_t j)
{
    return {i - c.patchHalf >= 0 ? c.patchHalf : i, i + c.patchHalf <= c.rows - 1 ? c.patchHalf : c.rows - 1 - i,
            j - c.patchHalf >= 0 ? c.patchHalf : j, j + c.patchHalf <= c.cols - 1 ? c.patchHalf : c.cols - 1 - j};
}

// weights[l] = fastExp(−distances[l] / h) for kLanes values.
void laneWeights(const float* distances, double h, float* weights)
{
    for (int l = 0; l < kLanes; ++l)
        weights[l] = fastExp(-static_cast<double>(distances[l]) / h);
}

// One term of a patch distance added to its running sum: the difference in
// single precision, kernel·d·d in double, the sum rounded to single (and kept
// as a double, which holds it exactly).
inline double addTerm(double sum, double k, float centre, float candidate)
{
    const float d = centre - candidate;
    return static_cast<float>(sum + k * d * d);
}

// Q candidates of windowDistancesScalar, interleaved only so that their
// independent sums overlap in the processor.
template <int Q>
void windowCandidates(const simd::WindowDistances& w, std::ptrdiff_t n0)
{
    const int half = w.patchHalf, centreStep = w.oneCentre ? 0 : 1;
    double sum[Q][kLanes] = {};
    for (int a = -w.up; a <= w.down; ++a) {
        for (int b = -w.left; b <= w.right; ++b) {
            const double k = w.kernel[(a + half) + w.patchSide * (b + half)];
            const float* centre = w.centre + a + w.rows * b;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 8   // keeps the Q·kLanes sums in registers
#endif
            for (int n = 0; n < Q; ++n) {
                const float* candidate = centre + w.shift[n0 + n];
                for (int l = 0; l < kLanes; ++l)
                    sum[n][l] = addTerm(sum[n][l], k, centre[l * centreStep], candidate[l]);
            }
        }
    }
    for (int n = 0; n < Q; ++n)
        for (int l = 0; l < kLanes; ++l)
            w.distances[n0 + n][l] = static_cast<float>(sum[n][l]);
}

} // namespace

void simd::windowDistancesScalar(const WindowDistances& w, Range first, Range last)
{
    Range n = first;
    for (; n + 4 <= last; n += 4)
        windowCandidates<4>(w, n);
    for (; n < last; ++n)
        windowCandidates<1>(w, n);
}

namespace {

// Window weights of the interior pixels in rows r0 .. r0+kLanes−1 of column j,
// for the rows from `firstRow` on.
//
// The distance of two interior pixels is the same value both ways (d changes
// sign, kernel·d·d does not, and the terms come in the same order), so each
// such pair is computed once, by the pixel that is visited first, and written
// into both windows. A pixel computes a candidate that comes later in scan
// order, and one that comes earlier only when that candidate is not itself
// an interior pixel.
void interiorWindows(const PatchWindows& c, std::ptrdiff_t r0, std::ptrdiff_t j, std::ptrdiff_t firstRow)
{
    constexpr int Q = 4;
    const std::ptrdiff_t centre = c.windowSize / 2;
    const std::ptrdiff_t half = c.windowHalf;
    const WindowPass& inner = *c.interior;
    // laneRows[l + di]: the window of pixel (r0 + l + di, inner.colBegin), null outside the
    // interior. The interior runs in stripes of kLanes rows, stripe n in buffer n % bufferCount.
    float* rows[kLanes + 2 * kMaxStripedWindowHalf];
    for (std::ptrdiff_t r = r0 - half; r < r0 + kLanes + half; ++r) {
        const std::ptrdiff_t row = r - inner.rowBegin;
        rows[r - (r0 - half)] = r >= inner.rowBegin && r < inner.rowEnd
                                    ? c.buffers[(row / kLanes) % c.bufferCount] + (row % kLanes) * inner.width() * c.windowSize
                                    : nullptr;
    }
    float* const* laneRows = rows + half;
    float* windows[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        windows[l] = r0 + l >= firstRow ? laneRows[l] + (j - inner.colBegin) * c.windowSize : nullptr;
        if (windows[l])
            windows[l][centre] = 0.0f;
    }
    // Whether every candidate of every lane is an interior pixel.
    const bool allInterior = r0 - half >= inner.rowBegin && r0 + kLanes - 1 + half < inner.rowEnd &&
                             j - half >= inner.colBegin && j + half < inner.colEnd;
    auto isInteriorColumn = [&](std::ptrdiff_t col) { return col >= inner.colBegin && col < inner.colEnd; };
    auto store = [&](std::ptrdiff_t q, const float* distance) {
        float weight[kLanes];
        laneWeights(distance, c.h, weight);
        const std::ptrdiff_t di = q / c.side - half, dj = q % c.side - half;
        const std::ptrdiff_t partnerOffset = (j + dj - inner.colBegin) * c.windowSize + (2 * centre - q);
        const bool columnInterior = isInteriorColumn(j + dj);
        for (int l = 0; l < kLanes; ++l) {
            if (!windows[l])
                continue;
            float* partnerRow = laneRows[l + di];
            const bool partnerInterior = columnInterior && partnerRow;
            if (q > centre || !partnerInterior)
                windows[l][q] = weight[l];
            if (q > centre && partnerInterior)
                partnerRow[partnerOffset] = weight[l];
        }
    };
    std::ptrdiff_t pending[Q], shift[Q];
    int count = 0;
    float distances[Q][kLanes];
    const int patchHalf = static_cast<int>(c.patchHalf);
    const simd::WindowDistances w{c.image + r0 + c.rows * j, c.rows, patchHalf, c.patchSide, c.kernel, shift, distances,
                                  patchHalf, patchHalf, patchHalf, patchHalf, false};
    for (std::ptrdiff_t q = allInterior ? centre + 1 : 0; q < c.windowSize; ++q) {
        bool needed = q > centre;
        if (q < centre) {
            const std::ptrdiff_t di = q / c.side - half, dj = q % c.side - half;
            const bool columnInterior = isInteriorColumn(j + dj);
            for (int l = 0; l < kLanes && !needed; ++l)
                needed = windows[l] && !(columnInterior && laneRows[l + di]);
        }
        if (!needed)
            continue;
        shift[count] = (q / c.side - half) + c.rows * (q % c.side - half);
        pending[count++] = q;
        if (count == Q) {
            c.kernels->windowDistances(w, 0, count);
            for (int n = 0; n < count; ++n)
                store(pending[n], distances[n]);
            count = 0;
        }
    }
    c.kernels->windowDistances(w, 0, count);
    for (int n = 0; n < count; ++n)
        store(pending[n], distances[n]);
}

// Window weights of pixel (i, j) with clipped patch extents: a candidate whose
// patch with the same extents would leave the image gets 0.
void borderWindow(const PatchWindows& c, std::ptrdiff_t i, std::ptrdiff_t j, float* window)
{
    constexpr int Q = 4;
    const Extents e = clippedExtents(c, i, j);
    const std::ptrdiff_t diLo = std::max<std::ptrdiff_t>(-c.windowHalf, e.up - i);
    const std::ptrdiff_t diHi = std::min<std::ptrdiff_t>(c.windowHalf, c.rows - 1 - e.down - i);
    const std::ptrdiff_t djLo = std::max<std::ptrdiff_t>(-c.windowHalf, e.left - j);
    const std::ptrdiff_t djHi = std::min<std::ptrdiff_t>(c.windowHalf, c.cols - 1 - e.right - j);
    std::fill(window, window + c.windowSize, 0.0f);
    float distances[Q][kLanes];
    float weights[kLanes];
    std::ptrdiff_t shift[Q];
    // The lanes are candidates down a window column; lanes past its end read
    // neighbouring values of the padded image and are not stored.
    const simd::WindowDistances w{c.image + i + c.rows * j, c.rows, static_cast<int>(c.patchHalf), c.patchSide,
                                  c.kernel, shift, distances, static_cast<int>(e.up), static_cast<int>(e.down),
                                  static_cast<int>(e.left), static_cast<int>(e.right), true};
    for (std::ptrdiff_t dj0 = djLo; dj0 <= djHi; dj0 += Q) {
        const int columns = static_cast<int>(std::min<std::ptrdiff_t>(Q, djHi - dj0 + 1));
        for (std::ptrdiff_t di0 = diLo; di0 <= diHi; di0 += kLanes) {
            const int lanes = static_cast<int>(std::min<std::ptrdiff_t>(kLanes, diHi - di0 + 1));
            for (int n = 0; n < columns; ++n)
                shift[n] = di0 + c.rows * (dj0 + n);
            c.kernels->windowDistances(w, 0, columns);
            for (int n = 0; n < columns; ++n) {
                laneWeights(distances[n], c.h, weights);
                for (int l = 0; l < lanes; ++l)
                    window[(di0 + l + c.windowHalf) * c.side + (dj0 + n + c.windowHalf)] = weights[l];
            }
        }
    }
}

} // namespace

void computeWindowTask(const PatchWindows& c, const WindowChunk& chunk, std::ptrdiff_t task, float* windows)
{
    const WindowPass& pass = *chunk.pass;
    const std::ptrdiff_t width = pass.width();
    if (pass.clipped) {
        const std::ptrdiff_t begin = task * kVisitsPerTask;
        const std::ptrdiff_t end = std::min(chunk.visits, begin + kVisitsPerTask);
        for (std::ptrdiff_t v = begin; v < end; ++v) {
            const std::ptrdiff_t visit = chunk.firstVisit + v;
            borderWindow(c, pass.rowBegin + visit / width, pass.colBegin + visit % width,
                         windows + v * c.windowSize);
        }
        return;
    }
    // An interior stripe: rows firstRow .. firstRow+stripeRows−1, computed kLanes
    // rows at a time; the last group is moved up to end at the stripe's last row.
    const std::ptrdiff_t firstRow = pass.rowBegin + chunk.firstVisit / width;
    const std::ptrdiff_t stripeRows = chunk.visits / width;
    const std::ptrdiff_t colBegin = pass.colBegin + task * kColumnsPerTask;
    const std::ptrdiff_t colEnd = std::min(pass.colEnd, colBegin + kColumnsPerTask);
    for (std::ptrdiff_t j = colBegin; j < colEnd; ++j) {
        for (std::ptrdiff_t g = 0; g < stripeRows; g += kLanes) {
            const std::ptrdiff_t r0 = firstRow + std::min(g, stripeRows - kLanes);
            interiorWindows(c, r0, j, firstRow + g);
        }
    }
}

std::vector<WindowChunk> makeWindowChunks(const WindowPass* passes, int passCount, std::ptrdiff_t windowSize)
{
    // Pixel-by-pixel chunks hold at most kBandChunkVisits windows and 16 MiB.
    const std::ptrdiff_t pixelChunk =
        std::max<std::ptrdiff_t>(1, std::min<std::ptrdiff_t>(kBandChunkVisits, (std::ptrdiff_t{16} << 20) / (4 * windowSize)));
    std::vector<WindowChunk> chunks;
    for (int p = 0; p < passCount; ++p) {
        const WindowPass& pass = passes[p];
        const std::ptrdiff_t width = pass.width(), height = pass.height();
        if (width == 0 || height == 0)
            continue;
        if (!pass.clipped && height >= kLanes) {
            const std::ptrdiff_t tasks = (width + kColumnsPerTask - 1) / kColumnsPerTask;
            for (std::ptrdiff_t row = 0; row < height; row += kLanes)
                chunks.push_back({&pass, row * width, std::min<std::ptrdiff_t>(kLanes, height - row) * width, tasks});
        } else {
            // Band passes, and an interior too low for whole lane groups, go pixel by pixel.
            const std::ptrdiff_t visits = width * height;
            for (std::ptrdiff_t first = 0; first < visits; first += pixelChunk) {
                const std::ptrdiff_t count = std::min(pixelChunk, visits - first);
                chunks.push_back({&pass, first, count, (count + kVisitsPerTask - 1) / kVisitsPerTask});
            }
        }
    }
    return chunks;
}

} // namespace imrestore
