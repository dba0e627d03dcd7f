// The Gauss–Seidel sweep over a weight graph, laid out as a wavefront.
//
// A sweep visits the pixels row by row and updates each in place from its
// neighbours' current values. Its result depends only on which neighbour
// values a pixel reads before and which after their own update, so rows can
// be processed side by side as long as each row trails the one above by more
// columns than any link reaches sideways per row crossed. The schedule groups
// `lanes` rows into a band and runs them as such a wavefront: at step t, row r
// of the band is at column t − r·lag. Every pixel sees exactly the values the
// row-by-row sweep would show it, so the results are identical bit for bit.
//
// The sweep's per-pixel data live in "slab" order: position (band·steps + t)·lanes + r,
// so that the pixels of one step are contiguous. Positions of lanes that are
// outside the image at a step are padding, read by no pixel.
#pragma once

#include "simd/kernels.h"

#include "common/work_memory.h"
#include "nonlocal/graph_view.h"

#include <cstddef>
#include <cstdint>

namespace imrestore {

struct SweepSchedule {
    std::ptrdiff_t rows, cols, slots;
    int lanes;                 // rows per band: kWavefrontLanes, or 1 for a plain sweep
    int laneShift;             // log2(lanes)
    std::ptrdiff_t lag;        // columns each row trails the one above
    std::ptrdiff_t steps;      // steps per band: cols + (lanes − 1)·lag
    std::ptrdiff_t positions;  // slab size: bands·steps·lanes
    std::ptrdiff_t bands;
    std::ptrdiff_t bandReach;  // bands any link crosses, links to pixel (0, 0) aside
    // Link order: for each step, slot and lane (in that order), the slab
    // position of the slot's neighbour and the slot's weight (padding: the
    // lane's own position and weight 0).
    WorkArray<std::int32_t> linkPosition;
    WorkArray<float> linkWeight;
    // The graph it was laid out for, in the graph's own order (slot k of
    // pixel (i, j) at j + cols·i + rows·cols·k): each slot's neighbour as a
    // slab position and its weight. Read in that order, a later graph is
    // compared with it as one stream (sweepScheduleFits).
    WorkArray<std::int32_t> graphPosition;
    WorkArray<float> graphWeight;
    // Likewise each slot's neighbour as a graph offset (column + cols·row),
    // where the NL-TV divergence reads d and b.
    WorkArray<std::int32_t> graphNeighbour;
    // Slab order: Σ_k w_k of each pixel, summed in slot order from 0
    // (padding: 0), for the sweeps' denominators.
    WorkArray<float> weightSum;
    // The wavefront sweep of the vector path in force when it was built.
    void (*sweepWavefront)(const imrestore::simd::WavefrontSweep&, std::ptrdiff_t first, std::ptrdiff_t last);
};

const int kWavefrontLanes = 16;
const int kWavefrontLaneShift = 4;

// Slab position of pixel (i, j).
inline std::ptrdiff_t slabPosition(const SweepSchedule& s, std::ptrdiff_t i, std::ptrdiff_t j)
{
    const std::ptrdiff_t band = i >> s.laneShift, lane = i & (s.lanes - 1);
    return (band * s.steps + j + lane * s.lag) * s.lanes + lane;
}

// Index of slot k of the pixel at (step, lane) in the link-ordered arrays.
inline std::ptrdiff_t linkIndex(const SweepSchedule& s, std::ptrdiff_t step, std::ptrdiff_t k, std::ptrdiff_t lane)
{
    return (step * s.slots + k) * s.lanes + lane;
}

// Number of entries of a link-ordered array (at least 1).
inline size_t linkCount(const SweepSchedule& s)
{
    const size_t links = static_cast<size_t>(s.positions) * static_cast<size_t>(s.slots);
    return links ? links : 1;
}

// Number of entries of a graph-ordered array (at least 1).
inline size_t graphEntryCount(const SweepSchedule& s)
{
    const size_t entries = static_cast<size_t>(s.rows) * static_cast<size_t>(s.cols) * static_cast<size_t>(s.slots);
    return entries ? entries : 1;
}

// Bytes the schedule's arrays take.
inline size_t scheduleBytes(const SweepSchedule& s)
{
    return linkCount(s) * (sizeof(std::int32_t) + sizeof(float)) +
           graphEntryCount(s) * (2 * sizeof(std::int32_t) + sizeof(float)) + static_cast<size_t>(s.positions) * sizeof(float);
}

// Smallest lag that keeps a wavefront equal to the row-by-row sweep over this
// graph. Links from or to pixel (0, 0) impose nothing: it is visited first.
std::ptrdiff_t wavefrontLag(const GraphInput& graph);

// Largest row distance a link crosses; links from or to pixel (0, 0) aside.
std::ptrdiff_t linkRowReach(const GraphInput& graph);

// Lays out the sweep for the graph, weights from its weight planes, bands
// split between threads. False, with nothing allocated, when memory is short.
// Every neighbour must lie inside the image. The schedule owns its arrays.
bool buildSweepSchedule(const GraphInput& graph, int threads, SweepSchedule* schedule);

// Whether `schedule` is the one buildSweepSchedule would lay out for the
// graph on the vector path in force: same shape, neighbours and weight bits
// in every slot. A graph that fits has every neighbour inside the image.
bool sweepScheduleFits(const SweepSchedule& schedule, const GraphInput& graph, int threads);

// Copies the graph's K weight planes into link order; padding entries become 0.
void weightsToLinkOrder(const SweepSchedule& schedule, const GraphInput& graph, int threads, float* links);
// One Gauss–Seidel sweep over the slab `u`, for each pixel x in row-by-row
// order:
//   u(x) ← (scale·Σ_k w_k·u(y_k) + offset(x) − subtract(x)) / denominator(x)
// with the sum taken in slot order from 0 and every operation rounded to
// single precision. With `subtract` null the update is
//   u(x) ← (offset(x) + Σ_k w_k·u(y_k)) / denominator(x)
// (`scale` unused). All arrays are in slab order.
void sweepGaussSeidel(const SweepSchedule& schedule, float* u, float scale, const float* offset,
                      const float* subtract, const float* denominator);

// The same sweep over bands [firstBand, lastBand) only. Sweeping all bands
// in order, in one call or in several, is one sweep.
void sweepBands(const SweepSchedule& schedule, float* u, float scale, const float* offset, const float* subtract,
                const float* denominator, std::ptrdiff_t firstBand, std::ptrdiff_t lastBand);

} // namespace imrestore
