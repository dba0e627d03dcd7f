// The window weights of the patch graph: for a pixel, fastExp(−D / h) of the
// patch distance D to every candidate of its search window, in scan order
// (window rows outer, columns inner).
//
// The pixels are visited in passes (the interior, then four border bands)
// cut into chunks, whose windows are computed ahead of the neighbour
// selection by worker threads, task by task.
#pragma once

#include "simd/kernels.h"

#include <cstddef>
#include <vector>

namespace imrestore {

// Pixels whose window weights are computed side by side: consecutive rows of
// one column in the interior, consecutive candidate rows in the border bands.
constexpr int kWindowLanes = simd::kWindowLanes;

// The largest window half-side with which the interior runs in stripes.
constexpr int kMaxStripedWindowHalf = 208;

// A rectangle of pixels visited rows outer, columns inner; `clipped` passes
// clip patches at the image border and test candidates against it.
struct WindowPass {
    std::ptrdiff_t rowBegin, rowEnd, colBegin, colEnd;
    bool clipped;

    std::ptrdiff_t height() const { return rowEnd > rowBegin ? rowEnd - rowBegin : 0; }
    std::ptrdiff_t width() const { return colEnd > colBegin ? colEnd - colBegin : 0; }
};

// A run of consecutive visits of one pass whose windows are computed together.
// Interior chunks are stripes of kWindowLanes whole rows (a few columns per
// task); band chunks are runs of visits, a few dozen per task.
struct WindowChunk {
    const WindowPass* pass;
    std::ptrdiff_t firstVisit, visits;
    std::ptrdiff_t tasks;
};

// What the window computation reads and where it writes.
struct PatchWindows {
    const float* image;        // M·N values with kWindowLanes readable values before and after
    const float* kernel;       // patchSide² patch weights
    std::ptrdiff_t rows, cols;
    int patchSide, patchHalf, windowHalf;
    int side;                  // window side 2·windowHalf + 1
    std::ptrdiff_t windowSize; // side²
    double h;
    const WindowPass* interior; // the interior pass when it runs in stripes, else null
    float* const* buffers;      // window buffers; chunk n uses buffers[n % bufferCount]
    int bufferCount;
    const simd::Kernels* kernels;
};

// The passes cut into chunks, in visiting order. An unclipped pass at least
// kWindowLanes rows high runs in stripes; every other pass pixel by pixel.
std::vector<WindowChunk> makeWindowChunks(const WindowPass* passes, int passCount, std::ptrdiff_t windowSize);

// Computes task `task` of a chunk into `windows` (its buffer: visit v of the
// chunk at windows + v·windowSize). An interior stripe also writes into the
// windows of the following ceil(windowHalf / kWindowLanes) stripes the distances
// they share with it, and leaves out those that earlier stripes wrote.
void computeWindowTask(const PatchWindows& c, const WindowChunk& chunk, std::ptrdiff_t task, float* windows);

} // namespace imrestore
