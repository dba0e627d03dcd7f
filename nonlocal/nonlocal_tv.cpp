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
#include "fast_math.h"
#include "graph_solvers.h"
#include "slab_arrays.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#if defined(__AVX512F__)
#include <immintrin.h>
#endif

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
};

// Floats of the buffers of one thread: a sum per pixel of a band, or a
// value, a norm and a gradient per slot for each pixel of a row.
std::ptrdiff_t rowScratch(const SweepSchedule& s)
{
    return std::max<std::ptrdiff_t>(s.lanes, s.slots + 2) * s.cols;
}

// Slab position of pixel (row, column) with the lane count fixed at compile time.
template <int V>
inline std::int32_t lanePosition(const SweepSchedule& s, std::int32_t row, std::int32_t column)
{
    const std::int32_t band = row / V, lane = row % V;
    return static_cast<std::int32_t>((band * s.steps + column + lane * s.lag) * V + lane);
}

#if defined(__AVX512F__)
// 16 pixels of a row in one AVX-512 vector: the same operations in the same
// order per pixel as the scalar code beside them.

// Slab positions of pixels (row, column) on the wavefront slab, lane by lane.
inline __m512i vectorLanePosition(const SweepSchedule& s, __m512i row, __m512i column)
{
    const __m512i band = _mm512_maskz_srai_epi32(0xFFFF, row, kWavefrontLaneShift);
    const __m512i lane = _mm512_and_si512(row, _mm512_set1_epi32(kWavefrontLanes - 1));
    __m512i step = _mm512_mullo_epi32(band, _mm512_set1_epi32(static_cast<std::int32_t>(s.steps)));
    step = _mm512_add_epi32(_mm512_add_epi32(step, column),
                            _mm512_mullo_epi32(lane, _mm512_set1_epi32(static_cast<std::int32_t>(s.lag))));
    return _mm512_add_epi32(_mm512_maskz_slli_epi32(0xFFFF, step, kWavefrontLaneShift), lane);
}

inline __m512 gather(const float* base, __m512i index)
{
    return _mm512_mask_i32gather_ps(_mm512_setzero_ps(), 0xFFFF, index, base, 4);
}

inline __m512 vectorFastSqrt(__m512 x)
{
    const __m512i estimate = _mm512_maskz_srai_epi32(0xFFFF, _mm512_castps_si512(x), 1);
    __m512 y = _mm512_castsi512_ps(_mm512_sub_epi32(_mm512_set1_epi32(0x5F3759DF), estimate));
    const __m512 half = _mm512_set1_ps(0.5f), threeHalves = _mm512_set1_ps(1.5f);
    for (int newton = 0; newton < 2; ++newton) {
        const __m512 hxyy = _mm512_mul_ps(_mm512_mul_ps(_mm512_mul_ps(half, x), y), y);
        y = _mm512_mul_ps(y, _mm512_sub_ps(threeHalves, hxyy));
    }
    return _mm512_mul_ps(x, y);
}
#endif

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
            float* sum = sums + (i - first) * N;
            const float* root = st.graph->weights + (2 * k + 1) * P + g0;
            const std::int32_t* column = st.graph->neighbours + (2 * k + 1) * P + g0;
            const std::int32_t* row = st.graph->neighbours + (2 * k + 2) * P + g0;
            const float* dk = st.d + k * P;
            const float* bk = st.b + k * P;
            std::int32_t j = 0;
#if defined(__AVX512F__)
            const __m512i width = _mm512_set1_epi32(N);
            for (; j + 16 <= N; j += 16) {
                const __m512 r = _mm512_loadu_ps(root + j);
                const __m512i other = _mm512_add_epi32(_mm512_loadu_si512(column + j),
                                                       _mm512_mullo_epi32(_mm512_loadu_si512(row + j), width));
                __m512 total = _mm512_loadu_ps(sum + j);
                const __m512 dDiff = _mm512_sub_ps(_mm512_loadu_ps(dk + g0 + j), gather(dk, other));
                total = _mm512_add_ps(total, _mm512_mul_ps(r, dDiff));
                const __m512 bDiff = _mm512_sub_ps(_mm512_loadu_ps(bk + g0 + j), gather(bk, other));
                total = _mm512_sub_ps(total, _mm512_mul_ps(r, bDiff));
                _mm512_storeu_ps(sum + j, total);
            }
#endif
            for (; j < N; ++j) {
                const std::ptrdiff_t other = column[j] + static_cast<std::ptrdiff_t>(N) * row[j];
                sum[j] = sum[j] + root[j] * (dk[g0 + j] - dk[other]);
                sum[j] = sum[j] - root[j] * (bk[g0 + j] - bk[other]);
            }
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
        const float* root = st.graph->weights + (2 * k + 1) * P + g0;
        const std::int32_t* column = st.graph->neighbours + (2 * k + 1) * P + g0;
        const std::int32_t* row = st.graph->neighbours + (2 * k + 2) * P + g0;
        float* dk = st.d + k * P + g0;
        const float* bk = st.b + k * P + g0;
        float* gk = gradient + k * N;
        std::int32_t j = 0;
#if defined(__AVX512F__)
        if (V == kWavefrontLanes)
            for (; j + 16 <= N; j += 16) {
                const __m512i rows = _mm512_loadu_si512(row + j), columns = _mm512_loadu_si512(column + j);
                const __mmask16 origin = _mm512_testn_epi32_mask(_mm512_or_si512(rows, columns),
                                                                  _mm512_or_si512(rows, columns));
                const __m512i where = _mm512_mask_mov_epi32(vectorLanePosition(s, rows, columns), origin,
                                                            _mm512_set1_epi32(st.originCopy));
                const __m512 grad = _mm512_mul_ps(_mm512_loadu_ps(root + j),
                                                  _mm512_sub_ps(gather(u, where), _mm512_loadu_ps(own + j)));
                const __m512 t = _mm512_add_ps(grad, _mm512_loadu_ps(bk + j));
                _mm512_storeu_ps(norm + j, _mm512_add_ps(_mm512_loadu_ps(norm + j), _mm512_mul_ps(t, t)));
                _mm512_storeu_ps(dk + j, t);
                _mm512_storeu_ps(gk + j, grad);
            }
#endif
        for (; j < N; ++j) {
            const std::int32_t where = (row[j] | column[j]) == 0 ? st.originCopy : lanePosition<V>(s, row[j], column[j]);
            const float grad = root[j] * (u[where] - own[j]);
            const float t = grad + bk[j];
            norm[j] = norm[j] + t * t;
            dk[j] = t;
            gk[j] = grad;
        }
    }
    for (std::int32_t j = 0; j < N; ++j)
        norm[j] = fastSqrt(norm[j]);
    const float tau = st.tau;
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        float* dk = st.d + k * P + g0;
        float* bk = st.b + k * P + g0;
        const float* gk = gradient + k * N;
        std::int32_t j = 0;
#if defined(__AVX512F__)
        const __m512 tauVector = _mm512_set1_ps(tau);
        for (; j + 16 <= N; j += 16) {
            const __m512 n = _mm512_loadu_ps(norm + j);
            const __mmask16 below = _mm512_cmp_ps_mask(tauVector, n, _CMP_GT_OQ);
            const __m512 factor = _mm512_div_ps(_mm512_sub_ps(n, tauVector), n);
            const __m512 grad = _mm512_loadu_ps(gk + j);
            const __m512 b = _mm512_loadu_ps(bk + j);
            const __m512 shrunk = _mm512_mask_mov_ps(_mm512_mul_ps(_mm512_loadu_ps(dk + j), factor), below,
                                                     _mm512_setzero_ps());
            _mm512_storeu_ps(dk + j, shrunk);
            _mm512_storeu_ps(bk + j, _mm512_mask_blend_ps(below, _mm512_add_ps(b, _mm512_sub_ps(grad, shrunk)),
                                                          _mm512_add_ps(b, grad)));
        }
#endif
        for (; j < N; ++j) {
            if (tau > norm[j]) {
                dk[j] = 0.0f;
                bk[j] = bk[j] + gk[j];
            } else {
                float factor = norm[j] - tau;
                factor = factor / norm[j];
                dk[j] = dk[j] * factor;
                bk[j] = bk[j] + (gk[j] - dk[j]);
            }
        }
    }
}

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
public:
    void publish(std::int64_t value) { value_.store(value, std::memory_order_release); }
    // Spins briefly (the other thread is usually a band away), then yields.
    void waitFor(std::int64_t value) const
    {
        for (int spins = 0; value_.load(std::memory_order_acquire) < value; ++spins) {
            if (spins < 20000)
                pause();
            else
                std::this_thread::yield();
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
        weightSumsToSlab(schedule, graph.weights, settings.mu, settings.lambda, true, denominator);
        const TvState st{&schedule, &graph, slab, d, b, settings.lambda, 1.0f / settings.lambda, subtract,
                         static_cast<std::int32_t>(n)};
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
