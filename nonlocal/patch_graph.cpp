#include "nonlocal/patch_graph.h"

#include "common/fast_math.h"
#include "common/work_memory.h"
#include "simd/kernels.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <new>
#include <mutex>
#include <thread>
#include <vector>

namespace imrestore {

namespace {

// Pixels whose window weights are computed side by side: consecutive rows of
// one column in the interior, consecutive candidate rows in the border bands.
constexpr int kLanes = simd::kWindowLanes;

// A rectangle of pixels visited rows outer, columns inner; `clipped` passes
// clip patches at the image border and test candidates against it.
struct Pass {
    std::ptrdiff_t rowBegin, rowEnd, colBegin, colEnd;
    bool clipped;

    std::ptrdiff_t height() const { return std::max<std::ptrdiff_t>(0, rowEnd - rowBegin); }
    std::ptrdiff_t width() const { return std::max<std::ptrdiff_t>(0, colEnd - colBegin); }
};

// Patch extents around a pixel: rows i−up..i+down, columns j−left..j+right.
struct Extents {
    std::ptrdiff_t up, down, left, right;
};

struct Context {
    const float* image;        // M·N values with kLanes readable values before and after
    const float* kernel;
    std::ptrdiff_t rows, cols;
    int patchSide, im2, iw2;
    int side;                  // effective window side 2·iw2 + 1
    std::ptrdiff_t windowSize; // side²
    double h;
    const Pass* interior;      // the interior pass when it runs kLanes rows at a time, else null
    float* const* buffers;     // window buffers; chunk n uses buffers[n % bufferCount]
    int bufferCount;
    const simd::Kernels* kernels;
};

// Window of interior pixel (r, j) while the interior runs in stripes of kLanes
// rows: stripe n is chunk n, and the pixel is its visit (r − firstRow)·width + (j − colBegin).
float* interiorWindow(const Context& c, std::ptrdiff_t r, std::ptrdiff_t j)
{
    const Pass& p = *c.interior;
    const std::ptrdiff_t row = r - p.rowBegin;
    return c.buffers[(row / kLanes) % c.bufferCount] +
           ((row % kLanes) * p.width() + (j - p.colBegin)) * c.windowSize;
}

bool isInterior(const Context& c, std::ptrdiff_t r, std::ptrdiff_t j)
{
    const Pass& p = *c.interior;
    return r >= p.rowBegin && r < p.rowEnd && j >= p.colBegin && j < p.colEnd;
}

// A run of consecutive visits of one pass whose windows are computed together.
// Interior chunks are stripes of whole rows (computed kLanes rows at a time,
// a few columns per task); band chunks are split into runs of visits.
struct Chunk {
    const Pass* pass;
    std::ptrdiff_t firstVisit, visits;
    std::ptrdiff_t tasks;
};

constexpr std::ptrdiff_t kColumnsPerTask = 4;
constexpr std::ptrdiff_t kVisitsPerTask = 32;
constexpr std::ptrdiff_t kBandChunkVisits = 2048;
constexpr int kMaxBuffers = 16;
constexpr std::size_t kChunksAhead = 2;   // chunks computed ahead of the one consumed

// Patch extents of pixel (i, j), clipped at the image border.
Extents clippedExtents(const Context& c, std::ptrdiff_t i, std::ptrdiff_t j)
{
    return {i - c.im2 >= 0 ? c.im2 : i, i + c.im2 <= c.rows - 1 ? c.im2 : c.rows - 1 - i,
            j - c.im2 >= 0 ? c.im2 : j, j + c.im2 <= c.cols - 1 ? c.im2 : c.cols - 1 - j};
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
    const int half = w.patchHalf;
    double sum[Q][kLanes] = {};
    for (int a = -half; a <= half; ++a) {
        for (int b = -half; b <= half; ++b) {
            const double k = w.kernel[(a + half) + w.patchSide * (b + half)];
            const float* centre = w.centre + a + w.rows * b;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 8   // keeps the Q·kLanes sums in registers
#endif
            for (int n = 0; n < Q; ++n) {
                const float* candidate = centre + w.shift[n0 + n];
                for (int l = 0; l < kLanes; ++l)
                    sum[n][l] = addTerm(sum[n][l], k, centre[l], candidate[l]);
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
void interiorWindows(const Context& c, std::ptrdiff_t r0, std::ptrdiff_t j, std::ptrdiff_t firstRow)
{
    constexpr int Q = 4;
    const std::ptrdiff_t centre = c.windowSize / 2;
    float* windows[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        windows[l] = r0 + l >= firstRow ? interiorWindow(c, r0 + l, j) : nullptr;
        if (windows[l])
            windows[l][centre] = 0.0f;
    }
    // Whether every candidate of every lane is an interior pixel.
    const Pass& inner = *c.interior;
    const bool allInterior = r0 - c.iw2 >= inner.rowBegin && r0 + kLanes - 1 + c.iw2 < inner.rowEnd &&
                             j - c.iw2 >= inner.colBegin && j + c.iw2 < inner.colEnd;
    auto store = [&](std::ptrdiff_t q, const float* distance) {
        float weight[kLanes];
        laneWeights(distance, c.h, weight);
        const std::ptrdiff_t di = q / c.side - c.iw2, dj = q % c.side - c.iw2;
        for (int l = 0; l < kLanes; ++l) {
            if (!windows[l])
                continue;
            const bool partnerInterior = allInterior || isInterior(c, r0 + l + di, j + dj);
            if (q > centre || !partnerInterior)
                windows[l][q] = weight[l];
            if (q > centre && partnerInterior)
                interiorWindow(c, r0 + l + di, j + dj)[2 * centre - q] = weight[l];
        }
    };
    std::ptrdiff_t pending[Q], shift[Q];
    int count = 0;
    float distances[Q][kLanes];
    const simd::WindowDistances w{c.image + r0 + c.rows * j, c.rows, c.im2, c.patchSide, c.kernel, shift, distances};
    for (std::ptrdiff_t q = allInterior ? centre + 1 : 0; q < c.windowSize; ++q) {
        bool needed = q > centre;
        if (q < centre) {
            const std::ptrdiff_t di = q / c.side - c.iw2, dj = q % c.side - c.iw2;
            for (int l = 0; l < kLanes && !needed; ++l)
                needed = windows[l] && !isInterior(c, r0 + l + di, j + dj);
        }
        if (!needed)
            continue;
        shift[count] = (q / c.side - c.iw2) + c.rows * (q % c.side - c.iw2);
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

// Patch distances of pixel (i, j), with extents e, to the candidates
// (di0 + l, dj0 + n) for l < kLanes and n < Q, in the same order of terms as
// windowDistances. Lanes past the window column read neighbouring values of
// the padded image and are discarded by the caller.
template <int Q>
void borderDistances(const Context& c, std::ptrdiff_t i, std::ptrdiff_t j, const Extents& e, std::ptrdiff_t di0,
                     std::ptrdiff_t dj0, float (*distances)[kLanes])
{
    const std::ptrdiff_t M = c.rows;
    double sum[Q][kLanes] = {};
    for (std::ptrdiff_t a = -e.up; a <= e.down; ++a) {
        for (std::ptrdiff_t b = -e.left; b <= e.right; ++b) {
            const double k = c.kernel[(a + c.im2) + c.patchSide * (b + c.im2)];
            const float centre = c.image[(i + a) + M * (j + b)];
            for (int n = 0; n < Q; ++n) {
                const float* candidate = c.image + (i + di0 + a) + M * (j + dj0 + n + b);
                for (int l = 0; l < kLanes; ++l)
                    sum[n][l] = addTerm(sum[n][l], k, centre, candidate[l]);
            }
        }
    }
    for (int n = 0; n < Q; ++n)
        for (int l = 0; l < kLanes; ++l)
            distances[n][l] = static_cast<float>(sum[n][l]);
}

// Window weights of pixel (i, j) with clipped patch extents: a candidate whose
// patch with the same extents would leave the image gets 0.
void borderWindow(const Context& c, std::ptrdiff_t i, std::ptrdiff_t j, float* window)
{
    constexpr int Q = 4;
    const Extents e = clippedExtents(c, i, j);
    const std::ptrdiff_t diLo = std::max<std::ptrdiff_t>(-c.iw2, e.up - i);
    const std::ptrdiff_t diHi = std::min<std::ptrdiff_t>(c.iw2, c.rows - 1 - e.down - i);
    const std::ptrdiff_t djLo = std::max<std::ptrdiff_t>(-c.iw2, e.left - j);
    const std::ptrdiff_t djHi = std::min<std::ptrdiff_t>(c.iw2, c.cols - 1 - e.right - j);
    std::fill(window, window + c.windowSize, 0.0f);
    float distances[Q][kLanes];
    float weights[kLanes];
    for (std::ptrdiff_t dj0 = djLo; dj0 <= djHi; dj0 += Q) {
        const int columns = static_cast<int>(std::min<std::ptrdiff_t>(Q, djHi - dj0 + 1));
        for (std::ptrdiff_t di0 = diLo; di0 <= diHi; di0 += kLanes) {
            const int lanes = static_cast<int>(std::min<std::ptrdiff_t>(kLanes, diHi - di0 + 1));
            if (columns == Q)
                borderDistances<Q>(c, i, j, e, di0, dj0, distances);
            else
                for (int n = 0; n < columns; ++n)
                    borderDistances<1>(c, i, j, e, di0, dj0 + n, distances + n);
            for (int n = 0; n < columns; ++n) {
                laneWeights(distances[n], c.h, weights);
                for (int l = 0; l < lanes; ++l)
                    window[(di0 + l + c.iw2) * c.side + (dj0 + n + c.iw2)] = weights[l];
            }
        }
    }
}

// Computes task `task` of chunk n: into its window buffer (visit v of the
// chunk at windows + v·windowSize), and for interior stripes also into the
// windows of later stripes.
void computeTask(const Context& c, const Chunk& chunk, std::ptrdiff_t task, float* windows)
{
    const Pass& pass = *chunk.pass;
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

// Largest weight of window[begin, end), ignoring values ≤ 0 and NaN (0 if none).
float largestWeight(const float* window, std::ptrdiff_t begin, std::ptrdiff_t end)
{
    float largest = 0.0f;
    if (end - begin == kLanes) {
        for (int q = 0; q < kLanes; ++q)
            largest = window[begin + q] > largest ? window[begin + q] : largest;
        return largest;
    }
    for (std::ptrdiff_t q = begin; q < end; ++q)
        largest = window[q] > largest ? window[q] : largest;
    return largest;
}

// Enters the nearest and the best-matching neighbours of pixel (i, j) from its
// window weights (scan order), which it consumes. The best candidate is the
// first largest weight in scan order; blockMax[b] holds the largest weight of
// the b-th run of kLanes window entries, so that a pick reads the run maxima
// and one run instead of the whole window.
void selectNeighbours(const Context& c, const Pass& pass, std::ptrdiff_t i, std::ptrdiff_t j, int nearest,
                      float* window, float* blockMax, WeightGraph& graph)
{
    auto at = [&](int di, int dj) -> float& { return window[(di + c.iw2) * c.side + (dj + c.iw2)]; };
    at(0, 0) = 0.0f;
    if (nearest == 4) {
        static const int offsets[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
        for (int slot = 0; slot < 4; ++slot) {
            const int di = offsets[slot][0], dj = offsets[slot][1];
            const bool inside = i + di >= 0 && i + di < c.rows && j + dj >= 0 && j + dj < c.cols;
            if (pass.clipped && !inside)
                continue;
            insertNearest(graph, i, j, di, dj, slot, at(di, dj));
            at(di, dj) = 0.0f;
        }
    }
    const std::ptrdiff_t g = graphOffset(graph, i, j);
    if (graph.counts[g] >= graph.slots)
        return;
    const std::ptrdiff_t blocks = (c.windowSize + kLanes - 1) / kLanes;
    auto blockEnd = [&](std::ptrdiff_t b) { return std::min(c.windowSize, (b + 1) * kLanes); };
    for (std::ptrdiff_t b = 0; b < blocks; ++b)
        blockMax[b] = largestWeight(window, b * kLanes, blockEnd(b));
    while (graph.counts[g] < graph.slots) {
        const float best = largestWeight(blockMax, 0, blocks);
        if (!(static_cast<double>(best) > kSmallestLinkWeight))
            break;
        std::ptrdiff_t b = 0;
        while (blockMax[b] != best)
            ++b;
        std::ptrdiff_t q = b * kLanes;
        while (window[q] != best)
            ++q;
        insertPair(graph, i, j, static_cast<int>(q / c.side) - c.iw2, static_cast<int>(q % c.side) - c.iw2, best);
        window[q] = 0.0f;
        blockMax[b] = largestWeight(window, b * kLanes, blockEnd(b));
    }
}

// Worker threads computing the tasks of the chunks that the caller's thread
// opens, in order, while the caller consumes earlier chunks. The caller helps
// with open tasks when it waits for a chunk.
class ChunkWorkers {
public:
    ChunkWorkers(const Context& c, const std::vector<Chunk>& chunks, int threads)
        : c_(c), chunks_(chunks), done_(chunks.size(), 0)
    {
        for (int t = 1; t < threads; ++t) {
            try {
                workers_.emplace_back([this] { work(); });
            } catch (const std::exception&) {
                break;   // fewer threads: the caller does the rest
            }
        }
    }

    ~ChunkWorkers()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    // Opens the tasks of the next chunk.
    void openNext()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++opened_;
        }
        wake_.notify_all();
    }

    // Runs open tasks of chunks up to n, then waits until chunk n is complete.
    void finish(std::ptrdiff_t n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (done_[n] < chunks_[n].tasks) {
            if (nextChunk_ <= n && nextChunk_ < opened_)
                runOne(lock);
            else
                finished_.wait(lock);
        }
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || nextChunk_ < opened_; });
            if (stop_)
                return;
            runOne(lock);
        }
    }

    // Takes the next open task, runs it unlocked and counts it done.
    void runOne(std::unique_lock<std::mutex>& lock)
    {
        const std::ptrdiff_t n = nextChunk_, task = nextTask_++;
        if (nextTask_ == chunks_[n].tasks) {
            ++nextChunk_;
            nextTask_ = 0;
        }
        lock.unlock();
        computeTask(c_, chunks_[n], task, c_.buffers[n % c_.bufferCount]);
        lock.lock();
        if (++done_[n] == chunks_[n].tasks)
            finished_.notify_all();
    }

    const Context& c_;
    const std::vector<Chunk>& chunks_;
    std::vector<std::ptrdiff_t> done_;   // finished tasks per chunk
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::ptrdiff_t opened_ = 0, nextChunk_ = 0, nextTask_ = 0;
    bool stop_ = false;
};

// The passes cut into chunks, in visiting order.
std::vector<Chunk> makeChunks(const Pass* passes, int passCount, std::ptrdiff_t windowSize)
{
    // Pixel-by-pixel chunks hold at most kBandChunkVisits windows and 16 MiB.
    const std::ptrdiff_t pixelChunk =
        std::max<std::ptrdiff_t>(1, std::min<std::ptrdiff_t>(kBandChunkVisits, (std::ptrdiff_t{16} << 20) / (4 * windowSize)));
    std::vector<Chunk> chunks;
    for (int p = 0; p < passCount; ++p) {
        const Pass& pass = passes[p];
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

// The work memory of one construction, released when it goes out of scope.
struct WorkMemory {
    float* windows[kMaxBuffers] = {};
    float* blockMax = nullptr;
    float* paddedImage = nullptr;
    WeightGraph graph{};
    bool graphAllocated = false;

    ~WorkMemory()
    {
        for (float* buffer : windows)
            releaseWorkMemory(buffer);
        std::free(blockMax);
        releaseWorkMemory(paddedImage);
        if (graphAllocated)
            releaseWeightGraph(&graph);
    }
};

// buildPatchGraph without the catch for std::bad_alloc.
bool buildGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                GraphArrays& arrays, StopCheck* stop)
{
    const int iw2 = windowHalf(settings), side = 2 * iw2 + 1;
    const std::ptrdiff_t windowSize = static_cast<std::ptrdiff_t>(side) * side;
    const std::ptrdiff_t M = arrays.rows, N = arrays.cols, ic1 = borderWidth(settings);

    // The interior runs kLanes rows at a time when it is high enough and the
    // windows of the stripes that one stripe writes into fit in 32 MiB;
    // otherwise it is visited like the bands (clipped extents equal full ones
    // there, and no candidate leaves the image).
    const int interiorBuffers = 1 + kChunksAhead + (iw2 + kLanes - 1) / kLanes;
    const double stripeBytes = 4.0 * kLanes * std::max<std::ptrdiff_t>(0, N - 2 * ic1) * static_cast<double>(windowSize);
    const bool laneInterior = M - 2 * ic1 >= kLanes && interiorBuffers <= kMaxBuffers &&
                              stripeBytes * interiorBuffers <= 32.0 * (1 << 20);
    const Pass passes[5] = {
        {ic1, M - ic1, ic1, N - ic1, !laneInterior}, // interior
        {0, ic1, 0, N, true},                        // band 0: top rows
        {M - ic1, M, 0, N, true},                    // band 1: bottom rows
        {ic1, M - ic1, 0, ic1, true},                // band 2: left columns
        {ic1, M - ic1, N - ic1, N, true},            // band 3: right columns
    };
    const std::vector<Chunk> chunks = makeChunks(passes, 5, windowSize);

    // Chunk n fills windows[n % count]; while chunk n is consumed, chunks up to
    // n + kChunksAhead are computed and write into stripes up to
    // ceil(iw2 / kLanes) further on.
    const int bufferCount = laneInterior ? interiorBuffers : 1 + kChunksAhead;
    std::ptrdiff_t largest = 1;
    for (const Chunk& chunk : chunks)
        largest = std::max(largest, chunk.visits);
    WorkMemory work;
    for (int b = 0; b < bufferCount; ++b) {
        work.windows[b] = static_cast<float*>(allocateWorkMemory(sizeof(float) * static_cast<std::size_t>(windowSize * largest)));
        if (!work.windows[b])
            return false;
    }
    work.blockMax = static_cast<float*>(std::malloc(sizeof(float) * static_cast<std::size_t>(windowSize / kLanes + 1)));
    // The image with kLanes zeros on either side, so that whole lane groups
    // of the border windows can be read.
    work.paddedImage = static_cast<float*>(allocateWorkMemory(sizeof(float) * static_cast<std::size_t>(M * N + 2 * kLanes)));
    if (!work.blockMax || !work.paddedImage)
        return false;
    work.graphAllocated = allocateWeightGraph(M, N, arrays.slots, &work.graph);
    if (!work.graphAllocated)
        return false;
    float* padded = work.paddedImage;
    std::fill(padded, padded + kLanes, 0.0f);
    std::copy(image, image + M * N, padded + kLanes);
    std::fill(padded + kLanes + M * N, padded + M * N + 2 * kLanes, 0.0f);

    const Context c{padded + kLanes, kernel, M, N, settings.patchSide, patchHalf(settings), iw2, side, windowSize,
                    static_cast<double>(settings.h), laneInterior ? &passes[0] : nullptr, work.windows, bufferCount,
                    &simd::kernels()};
    WeightGraph& graph = work.graph;
    if (!presetGraph(graph, settings.nearest, stop))
        return false;
    {
        ChunkWorkers workers(c, chunks, std::max(1, threads));
        for (std::size_t n = 0; n < kChunksAhead && n < chunks.size(); ++n)
            workers.openNext();
        for (std::size_t n = 0; n < chunks.size(); ++n) {
            if (pollStop(stop))
                return false;
            workers.finish(static_cast<std::ptrdiff_t>(n));
            if (n + kChunksAhead < chunks.size())
                workers.openNext();
            const Chunk& chunk = chunks[n];
            const Pass& pass = *chunk.pass;
            float* windows = work.windows[n % bufferCount];
            for (std::ptrdiff_t v = 0; v < chunk.visits; ++v) {
                const std::ptrdiff_t visit = chunk.firstVisit + v;
                selectNeighbours(c, pass, pass.rowBegin + visit / pass.width(), pass.colBegin + visit % pass.width(),
                                 settings.nearest, windows + v * c.windowSize, work.blockMax, graph);
            }
        }
    }
    pairSlots(graph);
    normalizeWeights(graph);
    return storeGraph(graph, arrays, stop);
}

} // namespace

bool buildPatchGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                     GraphArrays& arrays, StopCheck* stop)
{
    try {
        return buildGraph(image, kernel, settings, threads, arrays, stop);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace imrestore
