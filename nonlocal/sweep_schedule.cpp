#include "nonlocal/sweep_schedule.h"
#include "common/parallel_ranges.h"
#include "common/work_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace imrestore {

std::ptrdiff_t wavefrontLag(const GraphInput& graph)
{
    const std::ptrdiff_t M = graph.rows, N = graph.cols, K = graph.slots;
    std::int32_t lag = 1;   // at least 1, so that pixel (0, 0) is alone in the first step
    for (std::ptrdiff_t k = 0; k < K; ++k)
        for (std::ptrdiff_t i = 0; i < M; ++i) {
            const std::int32_t* column = graph.columnPlane(k) + N * i;
            const std::int32_t* row = graph.rowPlane(k) + N * i;
            // A link across di rows and dj columns needs lag·di > dj; most
            // links already have it, so look for the others first.
            int wider = 0;
            for (std::int32_t j = 0; j < static_cast<std::int32_t>(N); ++j) {
                const std::int32_t di = std::abs(row[j] - static_cast<std::int32_t>(i));
                const std::int32_t dj = std::abs(column[j] - j);
                wider |= (dj >= lag * di) & (di != 0) & ((row[j] | column[j]) != 0);
            }
            if (!wider)
                continue;
            for (std::ptrdiff_t j = i == 0 ? 1 : 0; j < N; ++j) {
                const std::int32_t di = std::abs(row[j] - static_cast<std::int32_t>(i));
                const std::int32_t dj = std::abs(column[j] - static_cast<std::int32_t>(j));
                if (di != 0 && (row[j] | column[j]) != 0 && dj >= lag * di)
                    lag = dj / di + 1;
            }
        }
    return lag;
}

std::ptrdiff_t linkRowReach(const GraphInput& graph)
{
    const std::ptrdiff_t M = graph.rows, N = graph.cols, K = graph.slots;
    std::int32_t reach = 0;
    for (std::ptrdiff_t k = 0; k < K; ++k)
        for (std::ptrdiff_t i = 0; i < M; ++i) {
            const std::int32_t* column = graph.columnPlane(k) + N * i;
            const std::int32_t* row = graph.rowPlane(k) + N * i;
            for (std::ptrdiff_t j = i == 0 ? 1 : 0; j < N; ++j) {
                const std::int32_t distance = (row[j] | column[j]) != 0 ? std::abs(row[j] - static_cast<std::int32_t>(i)) : 0;
                reach = std::max(reach, distance);
            }
        }
    return reach;
}

namespace {

// Chooses the lanes and the lag: a wavefront when it wastes at most half of
// its steps on padding and its link indices fit 32 bits, else a plain sweep.
void chooseLayout(const GraphInput& graph, SweepSchedule* s)
{
    const std::ptrdiff_t M = graph.rows, N = graph.cols;
    s->rows = M;
    s->cols = N;
    s->slots = graph.slots;
    s->lanes = 1;
    s->laneShift = 0;
    s->lag = 0;
    s->steps = N;
    s->positions = M * N;
    s->bands = M;
    s->bandReach = linkRowReach(graph);
    if (M < 2)
        return;
    const std::ptrdiff_t lag = wavefrontLag(graph);
    if ((kWavefrontLanes - 1) * lag > N)
        return;
    const std::ptrdiff_t steps = N + (kWavefrontLanes - 1) * lag;
    const std::ptrdiff_t bands = (M + kWavefrontLanes - 1) / kWavefrontLanes;
    // The vector code indexes positions and links with 32-bit integers.
    const double positions = static_cast<double>(bands) * steps * kWavefrontLanes;
    if (positions * std::max<std::ptrdiff_t>(1, graph.slots) > std::numeric_limits<std::int32_t>::max())
        return;
    s->lanes = kWavefrontLanes;
    s->laneShift = kWavefrontLaneShift;
    s->lag = lag;
    s->steps = steps;
    s->positions = bands * steps * kWavefrontLanes;
    s->bands = bands;
    s->bandReach = (s->bandReach + kWavefrontLanes - 1) / kWavefrontLanes;
}

} // namespace

namespace {

// Calls row(i, step) for every image row i with the step of its pixel 0, and
// padding(step, lane) for every (step, lane) outside the image; bands are
// split between threads.
template <class Row, class Padding>
void forEachRow(const SweepSchedule& s, int threads, Row row, Padding padding)
{
    const std::ptrdiff_t V = s.lanes, bands = s.positions / (s.steps * V);
    forEachRange(bands, threads, 1, 1, [&](std::ptrdiff_t firstBand, std::ptrdiff_t lastBand, int) {
        for (std::ptrdiff_t band = firstBand; band < lastBand; ++band)
            for (std::ptrdiff_t r = 0; r < V; ++r) {
                const std::ptrdiff_t i = band * V + r, first = band * s.steps + r * s.lag;
                for (std::ptrdiff_t t = 0; t < s.steps; ++t) {
                    const std::ptrdiff_t step = band * s.steps + t;
                    if (i >= s.rows || step < first || step >= first + s.cols)
                        padding(step, r);
                }
                if (i < s.rows)
                    row(i, first);
            }
    });
}

} // namespace

bool buildSweepSchedule(const GraphInput& graph, int threads, SweepSchedule* schedule)
{
    SweepSchedule& s = *schedule;
    chooseLayout(graph, &s);
    s.sweepWavefront = simd::kernels().sweepWavefront;
    const std::ptrdiff_t N = s.cols, K = s.slots, V = s.lanes;
    s.linkPosition = WorkArray<std::int32_t>(linkCount(s));
    s.linkWeight = WorkArray<float>(linkCount(s));
    s.graphPosition = WorkArray<std::int32_t>(graphEntryCount(s));
    s.graphWeight = WorkArray<float>(graphEntryCount(s));
    s.graphNeighbour = WorkArray<std::int32_t>(graphEntryCount(s));
    s.weightSum = WorkArray<float>(static_cast<size_t>(s.positions));
    if (!s.linkPosition || !s.linkWeight || !s.graphPosition || !s.graphWeight || !s.graphNeighbour || !s.weightSum) {
        s = SweepSchedule{};
        return false;
    }
    const std::ptrdiff_t plane = s.rows * N;
    // One slot plane of a row at a time, so that the host planes are read in order.
    forEachRow(
        s, threads,
        [&](std::ptrdiff_t i, std::ptrdiff_t first) {
            float* sum = s.weightSum.get() + first * V + i % V;
            for (std::ptrdiff_t j = 0; j < N; ++j)
                sum[j * V] = 0.0f;
            for (std::ptrdiff_t k = 0; k < K; ++k) {
                const float* weight = graph.weightPlane(k) + N * i;
                for (std::ptrdiff_t j = 0; j < N; ++j)
                    sum[j * V] = sum[j * V] + weight[j];
                const std::int32_t* column = graph.columnPlane(k) + N * i;
                const std::int32_t* row = graph.rowPlane(k) + N * i;
                std::int32_t* out = s.linkPosition.get() + linkIndex(s, first, k, i % V);
                std::int32_t* kept = s.graphPosition.get() + plane * k + N * i;
                std::int32_t* neighbour = s.graphNeighbour.get() + plane * k + N * i;
                for (std::ptrdiff_t j = 0; j < N; ++j) {
                    kept[j] = static_cast<std::int32_t>(slabPosition(s, row[j], column[j]));
                    out[j * K * V] = kept[j];
                    neighbour[j] = static_cast<std::int32_t>(column[j] + N * row[j]);
                }
                std::memcpy(s.graphWeight.get() + plane * k + N * i, graph.weightPlane(k) + N * i, N * sizeof(float));
            }
        },
        // A lane outside the image reads its own position (with weight 0).
        [&](std::ptrdiff_t step, std::ptrdiff_t r) {
            s.weightSum[step * V + r] = 0.0f;
            for (std::ptrdiff_t k = 0; k < K; ++k)
                s.linkPosition[linkIndex(s, step, k, r)] = static_cast<std::int32_t>(step * V + r);
        });
    weightsToLinkOrder(s, graph, threads, s.linkWeight.get());
    return true;
}

std::uint32_t simd::layoutDifferencesScalar(const LayoutComparison& a, Range first, Range last)
{
    const std::uint32_t laneMask = (std::uint32_t{1} << a.laneShift) - 1;
    std::uint32_t differs = 0;
    for (Range j = first; j < last; ++j) {
        std::uint32_t weight, kept;
        std::memcpy(&weight, a.weight + j, sizeof weight);
        std::memcpy(&kept, a.keptWeight + j, sizeof kept);
        const std::uint32_t r = static_cast<std::uint32_t>(a.row[j]), c = static_cast<std::uint32_t>(a.column[j]);
        const std::uint32_t lane = r & laneMask;
        const std::uint32_t position = (((r >> a.laneShift) * a.steps + c + lane * a.lag) << a.laneShift) + lane;
        differs |= (weight ^ kept) | (static_cast<std::uint32_t>(a.keptPosition[j]) ^ position) |
                   static_cast<std::uint32_t>(r >= a.rows) | static_cast<std::uint32_t>(c >= a.cols);
    }
    return differs;
}

bool sweepScheduleFits(const SweepSchedule& s, const GraphInput& graph, int threads)
{
    const simd::Kernels& kernels = simd::kernels();
    if (!s.graphPosition || s.rows != graph.rows || s.cols != graph.cols || s.slots != graph.slots ||
        s.sweepWavefront != kernels.sweepWavefront)
        return false;
    // Slab positions name the pixels of the image one to one, so for
    // neighbours inside the image equal positions mean equal neighbours, and
    // with them the same lanes, lag and reach: the layout is a function of
    // the neighbours and the weights alone. A neighbour outside can share a
    // position with one inside, so the range is tested too. Unsigned 32-bit
    // arithmetic is exact inside (positions fit 31 bits) and wraps harmlessly
    // outside. Weights are compared as bits (0 and −0 differ in a division).
    // Both sides are read in the graph's order, one row of a slot plane at a time.
    const std::ptrdiff_t M = s.rows, N = s.cols, plane = M * N;
    std::atomic<bool> differs{false};
    forEachRange(s.slots * M, threads, 1, 1, [&](std::ptrdiff_t firstRow, std::ptrdiff_t lastRow, int) {
        std::uint32_t rangeDiffers = 0;
        for (std::ptrdiff_t q = firstRow; q < lastRow && !rangeDiffers; ++q) {
            const std::ptrdiff_t k = q / M, i = q % M;
            const simd::LayoutComparison row{graph.columnPlane(k) + N * i,
                                             graph.rowPlane(k) + N * i,
                                             graph.weightPlane(k) + N * i,
                                             s.graphPosition.get() + plane * k + N * i,
                                             s.graphWeight.get() + plane * k + N * i,
                                             static_cast<std::uint32_t>(M),
                                             static_cast<std::uint32_t>(N),
                                             static_cast<std::uint32_t>(s.steps),
                                             static_cast<std::uint32_t>(s.lag),
                                             static_cast<std::uint32_t>(s.laneShift)};
            rangeDiffers = kernels.layoutDifferences(row, 0, N);
            if (differs.load(std::memory_order_relaxed))
                break;
        }
        if (rangeDiffers)
            differs.store(true, std::memory_order_relaxed);
    });
    return !differs.load();
}

void weightsToLinkOrder(const SweepSchedule& s, const GraphInput& graph, int threads, float* links)
{
    const std::ptrdiff_t N = s.cols, K = s.slots, V = s.lanes;
    forEachRow(
        s, threads,
        [&](std::ptrdiff_t i, std::ptrdiff_t first) {
            for (std::ptrdiff_t k = 0; k < K; ++k) {
                const float* in = graph.weightPlane(k) + N * i;
                float* out = links + linkIndex(s, first, k, i % V);
                for (std::ptrdiff_t j = 0; j < N; ++j)
                    out[j * K * V] = in[j];
            }
        },
        [&](std::ptrdiff_t step, std::ptrdiff_t r) {
            for (std::ptrdiff_t k = 0; k < K; ++k)
                links[linkIndex(s, step, k, r)] = 0.0f;
        });
}

namespace {

// One sweep with V lanes per step, lane by lane.
template <int V, bool WithSubtract>
void sweepLanes(const simd::WavefrontSweep& a, std::ptrdiff_t firstStep, std::ptrdiff_t lastStep)
{
    float* __restrict u = a.u;
    const float* __restrict offset = a.offset;
    const float* __restrict subtract = a.subtract;
    const float* __restrict denominator = a.denominator;
    const std::ptrdiff_t K = a.slots;
    const std::int32_t* position = a.linkPosition + firstStep * K * V;
    const float* weight = a.linkWeight + firstStep * K * V;
    for (std::ptrdiff_t step = firstStep; step < lastStep; ++step) {
        float sum[V];
        for (int r = 0; r < V; ++r)
            sum[r] = 0.0f;
        for (std::ptrdiff_t k = 0; k < K; ++k) {
            for (int r = 0; r < V; ++r)
                sum[r] = sum[r] + weight[r] * u[position[r]];
            position += V;
            weight += V;
        }
        const std::ptrdiff_t base = step * V;
        if (WithSubtract) {
            for (int r = 0; r < V; ++r)
                u[base + r] = (a.scale * sum[r] + offset[base + r] - subtract[base + r]) / denominator[base + r];
        } else {
            for (int r = 0; r < V; ++r)
                u[base + r] = (offset[base + r] + sum[r]) / denominator[base + r];
        }
    }
}

} // namespace

void simd::sweepWavefrontScalar(const WavefrontSweep& a, Range first, Range last)
{
    static_assert(kWavefrontLanes == 16, "the vector sweeps take 16 lanes per step");
    if (a.subtract)
        sweepLanes<kWavefrontLanes, true>(a, first, last);
    else
        sweepLanes<kWavefrontLanes, false>(a, first, last);
}

void sweepGaussSeidel(const SweepSchedule& schedule, float* u, float scale, const float* offset,
                      const float* subtract, const float* denominator)
{
    sweepBands(schedule, u, scale, offset, subtract, denominator, 0, schedule.bands);
}

void sweepBands(const SweepSchedule& schedule, float* u, float scale, const float* offset, const float* subtract,
                const float* denominator, std::ptrdiff_t firstBand, std::ptrdiff_t lastBand)
{
    const std::ptrdiff_t first = firstBand * schedule.steps, last = lastBand * schedule.steps;
    const simd::WavefrontSweep sweep{u,         schedule.slots, schedule.linkPosition.get(), schedule.linkWeight.get(),
                                     scale,     offset,         subtract,              denominator};
    if (schedule.lanes == kWavefrontLanes)
        schedule.sweepWavefront(sweep, first, last);
    else if (subtract)
        sweepLanes<1, true>(sweep, first, last);
    else
        sweepLanes<1, false>(sweep, first, last);
}

} // namespace imrestore
