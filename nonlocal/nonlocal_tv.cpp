// Nonlocal TV restoration by split Bregman iteration over a weight graph.
//
// Per outer iteration: the divergence of d − b (fixed during the sweeps, so
// computed once for both), two Gauss–Seidel sweeps on u, the shrink with the
// Bregman update, and the change measure when it is reported.
//
// u lives in slab order during the call (see sweep_schedule.h); d and b stay
// in the host's graph addressing. The divergence and the shrink are
// independent per pixel and are computed band by band, the shrink and half
// of the divergence on a helper thread, while the caller's thread sweeps and
// computes the other half just in time: the shrink of a band may start as soon as
// the second sweep has finished every band that the band's links reach, the
// next divergence of a band as soon as the shrink has finished every band its
// links reach, and the first sweep of a band needs only the band's
// divergence. That first sweep also cannot change a value the shrink still
// reads: the divergence it waits for comes after the shrink of every band
// reaching its band. So every step sees exactly the values of the
// one-step-after-another order, and the results are identical bit for bit.
#include "common/fast_math.h"
#include "nonlocal/graph_solvers.h"
#include "nonlocal/slab_arrays.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <system_error>
#include <chrono>
#include <thread>


namespace imrestore {

namespace {

struct TvState {
    const SweepSchedule* schedule;
    const GraphInput* graph;
    float* u;              // slab order
    float* d;              // graph addressing, K planes
    float* b;
    float lambda, tau;
    float* subtract;       // slab order: λ·div(d − b)
    // Slab index just past the pixels, where the second sweep leaves a copy
    // of u(0, 0) for the shrink. Empty slots name pixel (0, 0) from anywhere
    // in the image, and the next iteration's first sweep may already have
    // changed u(0, 0) while the shrink reads it.
    std::int32_t originCopy;
    const simd::Kernels* kernels;   // the vector path of this call
};

// Floats of the buffers of one thread: a sum per pixel of a band, or a
// value, a norm and a gradient per slot for each pixel of a row.
std::ptrdiff_t rowScratch(const SweepSchedule& s)
{
    return std::max<std::ptrdiff_t>(s.lanes, s.slots + 2) * s.cols;
}

// subtract(x) ← λ·S for the pixels of rows [first, last), with
// S = Σ_k s_k·(d_k(x) − d_k(y_k)) − s_k·(b_k(x) − b_k(y_k)), each term its own
// rounded step, d and b of y_k at slot k. One slot plane at a time for all
// the rows, so that the neighbours' values come from a few rows of one plane.
template <int V>
void divergenceRows(const TvState& st, std::ptrdiff_t first, std::ptrdiff_t last, float* sums)
{
    const SweepSchedule& s = *st.schedule;
    const std::int32_t N = static_cast<std::int32_t>(s.cols);
    const std::ptrdiff_t P = s.rows * s.cols;
    for (std::ptrdiff_t p = 0; p < (last - first) * N; ++p)
        sums[p] = 0.0f;
    for (std::ptrdiff_t k = 0; k < s.slots; ++k)
        for (std::ptrdiff_t i = first; i < last; ++i) {
            const std::ptrdiff_t g0 = N * i;
            const simd::DivergenceTerms terms{sums + (i - first) * N,
                                              st.graph->rootPlane(k) + g0,
                                              st.graph->columnPlane(k) + g0,
                                              st.graph->rowPlane(k) + g0,
                                              st.d + k * P,
                                              st.b + k * P,
                                              g0,
                                              N};
            st.kernels->divergenceTerms(terms, 0, N);
        }
    for (std::ptrdiff_t i = first; i < last; ++i) {
        const float* sum = sums + (i - first) * N;
        float* out = st.subtract + slabRowStart(s, i);
        for (std::int32_t j = 0; j < N; ++j)
            out[j * V] = st.lambda * sum[j];
    }
}

// The shrink of the nonlocal gradient plus b into d and the Bregman update of
// b for the pixels of row i, one slot plane at a time. u(0, 0) is read from
// its copy.
template <int V>
void shrinkRow(const TvState& st, std::ptrdiff_t i, float* own, float* norm, float* gradient)
{
    const SweepSchedule& s = *st.schedule;
    const std::int32_t N = static_cast<std::int32_t>(s.cols);
    const std::ptrdiff_t P = s.rows * s.cols, g0 = N * i, K = s.slots;
    const float* u = st.u;
    const float* slabRow = u + slabRowStart(s, i);
    for (std::int32_t j = 0; j < N; ++j) {
        own[j] = slabRow[j * V];
        norm[j] = 0.0f;   // the sum of squares until the norm is taken
    }
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        const simd::GradientTerms terms{u,
                                        own,
                                        st.graph->rootPlane(k) + g0,
                                        st.graph->columnPlane(k) + g0,
                                        st.graph->rowPlane(k) + g0,
                                        st.b + k * P + g0,
                                        st.d + k * P + g0,
                                        gradient + k * N,
                                        norm,
                                        s.steps,
                                        s.lag,
                                        s.lanes,
                                        s.laneShift,
                                        st.originCopy};
        st.kernels->gradientTerms(terms, 0, N);
    }
    for (std::int32_t j = 0; j < N; ++j)
        norm[j] = fastSqrt(norm[j]);
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        const simd::ShrinkTerms terms{norm, gradient + k * N, st.d + k * P + g0, st.b + k * P + g0, st.tau};
        st.kernels->shrinkTerms(terms, 0, N);
    }
}

} // namespace

void simd::divergenceTermsScalar(const DivergenceTerms& a, Range first, Range last)
{
    const float* dHere = a.d + a.rowStart;
    const float* bHere = a.b + a.rowStart;
    for (Range j = first; j < last; ++j) {
        const std::ptrdiff_t other = a.column[j] + static_cast<std::ptrdiff_t>(a.cols) * a.row[j];
        a.sum[j] = a.sum[j] + a.root[j] * (dHere[j] - a.d[other]);
        a.sum[j] = a.sum[j] - a.root[j] * (bHere[j] - a.b[other]);
    }
}

void simd::gradientTermsScalar(const GradientTerms& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        const std::int32_t row = a.row[j], column = a.column[j];
        const std::int32_t band = row >> a.laneShift, lane = row & (a.lanes - 1);
        const std::int32_t position = static_cast<std::int32_t>((band * a.steps + column + lane * a.lag) * a.lanes + lane);
        const std::int32_t where = (row | column) == 0 ? a.originCopy : position;
        const float grad = a.root[j] * (a.u[where] - a.own[j]);
        const float t = grad + a.b[j];
        a.norm[j] = a.norm[j] + t * t;
        a.d[j] = t;
        a.gradient[j] = grad;
    }
}

void simd::shrinkTermsScalar(const ShrinkTerms& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        if (a.tau > a.norm[j]) {
            a.d[j] = 0.0f;
            a.b[j] = a.b[j] + a.gradient[j];
        } else {
            float factor = a.norm[j] - a.tau;
            factor = factor / a.norm[j];
            a.d[j] = a.d[j] * factor;
            a.b[j] = a.b[j] + (a.gradient[j] - a.d[j]);
        }
    }
}

namespace {

// Image rows of a band.
inline std::ptrdiff_t bandEnd(const SweepSchedule& s, std::ptrdiff_t band)
{
    return std::min(s.rows, (band + 1) * s.lanes);
}

template <int V>
void divergenceBand(const TvState& st, std::ptrdiff_t band, float* scratch)
{
    divergenceRows<V>(st, band * V, bandEnd(*st.schedule, band), scratch);
}

template <int V>
void shrinkBand(const TvState& st, std::ptrdiff_t band, float* scratch)
{
    const std::ptrdiff_t N = st.schedule->cols;
    for (std::ptrdiff_t i = band * V; i < bandEnd(*st.schedule, band); ++i)
        shrinkRow<V>(st, i, scratch, scratch + N, scratch + 2 * N);
}

inline void pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// A count that one thread raises and another waits for.
class Progress {
    static constexpr int kSpins = 4000;   // about 50 µs of pause instructions

public:
    void publish(std::int64_t value) { value_.store(value, std::memory_order_release); }
    // Spins briefly (the other thread is usually a band away), then sleeps
    // in short naps: when both threads share one core, spinning or yielding
    // would only keep the awaited thread from running.
    void waitFor(std::int64_t value) const
    {
        for (int spins = 0; value_.load(std::memory_order_acquire) < value; ++spins) {
            if (spins < kSpins)
                pause();
            else
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    }

private:
    std::atomic<std::int64_t> value_{0};
};

// Which thread computes a band's divergence: the helper the even bands,
// the caller's thread the odd ones, just before its first sweep reaches them.
inline bool divergenceOnHelper(std::ptrdiff_t band) { return band % 2 == 0; }

struct Pipeline {
    explicit Pipeline(std::ptrdiff_t bands) : divergenceReady(new (std::nothrow) Progress[bands]) {}
    // Per band: the last iteration (counted from 1) whose divergence the helper has ready.
    std::unique_ptr<Progress[]> divergenceReady;
    Progress sweptBands;   // bands the second sweep has finished, counted over all iterations
    Progress shrunkBands;  // bands shrunk, likewise

    // Lets the helper through every wait when the caller's thread stops
    // early; the helper then sees the stop and returns.
    void abandon() { sweptBands.publish(INT64_MAX); }
};

// The helper's part: its share of the first divergence, then for every
// iteration the shrink behind the second sweep, each band followed by its
// share of the next divergence of the band whose links that shrink completes.
template <int V>
void runHelper(const TvState& st, std::int32_t nOuter, float* scratch, Pipeline& pipeline, const StopCheck* stop)
{
    const std::ptrdiff_t B = st.schedule->bands, reach = st.schedule->bandReach;
    auto divergence = [&](std::ptrdiff_t band, std::int64_t iteration) {
        if (!divergenceOnHelper(band))
            return;
        divergenceBand<V>(st, band, scratch);
        pipeline.divergenceReady[band].publish(iteration + 1);
    };
    for (std::ptrdiff_t band = 0; band < B; ++band)
        divergence(band, 0);
    for (std::int64_t n = 0; n < nOuter; ++n) {
        const bool more = n + 1 < nOuter;
        for (std::ptrdiff_t band = 0; band < B; ++band) {
            pipeline.sweptBands.waitFor(n * B + std::min(B, band + reach + 1));
            if (isStopped(stop))
                return;
            shrinkBand<V>(st, band, scratch);
            pipeline.shrunkBands.publish(n * B + band + 1);
            if (more && band >= reach)
                divergence(band - reach, n + 1);
        }
        for (std::ptrdiff_t band = std::max<std::ptrdiff_t>(0, B - reach); more && band < B; ++band)
            divergence(band, n + 1);
    }
}

// The root-mean-square change of u since the last call, the pixels taken row
// by row; uold (slab order) takes u.
float changeSinceLast(const SweepSchedule& s, const float* u, float* uold)
{
    float sum = 0.0f;
    for (std::ptrdiff_t i = 0; i < s.rows; ++i) {
        const std::ptrdiff_t start = slabRowStart(s, i);
        for (std::ptrdiff_t j = 0; j < s.cols; ++j) {
            const std::ptrdiff_t p = start + j * s.lanes;
            const float e = u[p] - uold[p];
            const float square = e * e;
            sum = sum + square;
            uold[p] = u[p];
        }
    }
    const float mean = sum / static_cast<float>(s.rows * s.cols);
    return static_cast<float>(std::sqrt(static_cast<double>(mean)));
}

struct SweepTerms {
    const float* offset;
    const float* denominator;
};

// Runs the iterations; false when `stop` ended them early.
template <int V>
bool iterate(const TvState& st, SweepTerms terms, std::int32_t nOuter, bool helped, float* scratch,
             ProgressReport report, void* context, float* uold, StopCheck* stop)
{
    const SweepSchedule& s = *st.schedule;
    const std::ptrdiff_t B = s.bands;
    auto sweep = [&](std::ptrdiff_t band) {
        sweepBands(s, st.u, st.lambda, terms.offset, st.subtract, terms.denominator, band, band + 1);
    };
    Pipeline pipeline(B);
    helped = helped && pipeline.divergenceReady;
    std::thread helper;
    if (helped) {
        try {
            helper = std::thread(runHelper<V>, std::cref(st), nOuter, scratch + rowScratch(s), std::ref(pipeline),
                                 stop);
        } catch (const std::system_error&) {
            helped = false;
        }
    }
    // Polled once per band of each sweep, on this thread.
    auto stopHere = [&] {
        if (!pollStop(stop))
            return false;
        if (helped)
            pipeline.abandon();
        return true;
    };
    bool completed = true;
    for (std::int64_t n = 0; n < nOuter && completed; ++n) {
        if (!helped)
            for (std::ptrdiff_t band = 0; band < B; ++band)
                divergenceBand<V>(st, band, scratch);
        for (std::ptrdiff_t band = 0; band < B && completed; ++band) {
            if (stopHere()) {
                completed = false;
                break;
            }
            if (helped && divergenceOnHelper(band)) {
                pipeline.divergenceReady[band].waitFor(n + 1);
            } else if (helped) {
                // The previous shrink must have finished every band this band's links reach.
                if (n > 0)
                    pipeline.shrunkBands.waitFor((n - 1) * B + std::min(B, band + s.bandReach + 1));
                divergenceBand<V>(st, band, scratch);
            }
            sweep(band);
        }
        for (std::ptrdiff_t band = 0; band < B && completed; ++band) {
            if (stopHere()) {
                completed = false;
                break;
            }
            sweep(band);
            if (band == 0)
                st.u[st.originCopy] = st.u[0];
            if (helped)
                pipeline.sweptBands.publish(n * B + band + 1);
        }
        if (!completed)
            break;
        if (report)
            report(changeSinceLast(s, st.u, uold), context);
        if (!helped)
            for (std::ptrdiff_t band = 0; band < B; ++band)
                shrinkBand<V>(st, band, scratch);
    }
    if (helper.joinable())
        helper.join();
    return completed;
}

} // namespace

bool solveNonlocalTv(float* u, float* d, float* b, const float* f, const GraphInput& graph,
                     const NonlocalTvSettings& settings, int threads, ProgressReport report, void* context,
                     StopCheck* stop)
{
    if (settings.nOuter <= 0)
        return true;
    SweepSchedule schedule;
    if (!buildSweepSchedule(graph, std::max(1, threads), &schedule))
        return false;
    const std::ptrdiff_t n = schedule.positions;
    const bool helped = threads > 1 && schedule.bands > 1;
    float* slab = allocateFilled(n + 1, 0.0f);
    float* offset = allocateFilled(n, 0.0f);
    float* subtract = allocateFilled(n, 0.0f);
    float* denominator = allocateFilled(n, 1.0f);
    float* scratch = allocateFilled((helped ? 2 : 1) * rowScratch(schedule), 0.0f);
    float* uold = report ? allocateFilled(n, 0.0f) : nullptr;
    const bool allocated = slab && offset && subtract && denominator && scratch && (uold || !report);
    bool completed = false;
    if (allocated) {
        imageToSlab(schedule, u, slab);
        if (uold)
            imageToSlab(schedule, u, uold);
        scaledImageToSlab(schedule, f, settings.mu, offset);
        weightSumsToSlab(schedule, graph, settings.mu, settings.lambda, true, denominator);
        const TvState st{&schedule, &graph, slab, d, b, settings.lambda, 1.0f / settings.lambda, subtract,
                         static_cast<std::int32_t>(n), &simd::kernels()};
        const SweepTerms terms{offset, denominator};
        completed = schedule.lanes == kWavefrontLanes
                        ? iterate<kWavefrontLanes>(st, terms, settings.nOuter, helped, scratch, report, context, uold, stop)
                        : iterate<1>(st, terms, settings.nOuter, helped, scratch, report, context, uold, stop);
        if (completed)
            slabToImage(schedule, slab, u);
    }
    for (float* work : {slab, offset, subtract, denominator, scratch, uold})
        releaseWorkMemory(work);
    releaseSweepSchedule(&schedule);
    return completed;
}

} // namespace imrestore
