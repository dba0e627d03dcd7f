#include "nonlocal/nonlocal_tv_pipeline.h"

#include "common/cpu_pause.h"
#include "common/thread_start.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>

namespace imrestore {

namespace {

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
                cpuPause();
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
        divergenceBand<V>(st, band, iteration, scratch);
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
            shrinkBand<V>(st, band, n, scratch);
            pipeline.shrunkBands.publish(n * B + band + 1);
            if (more && band >= reach)
                divergence(band - reach, n + 1);
        }
        for (std::ptrdiff_t band = std::max<std::ptrdiff_t>(0, B - reach); more && band < B; ++band)
            divergence(band, n + 1);
    }
}

} // namespace

template <int V>
PipelineOutcome iterateTvPipelined(const TvState& st, const TvIteration& it, float* scratch, float* helperScratch)
{
    const SweepSchedule& s = *st.schedule;
    const std::ptrdiff_t B = s.bands;
    Pipeline pipeline(B);
    if (!pipeline.divergenceReady)
        return PipelineOutcome::notStarted;
    std::thread helper =
        tryStartThread(runHelper<V>, std::cref(st), it.nOuter, helperScratch, std::ref(pipeline), it.stop);
    if (!helper.joinable())
        return PipelineOutcome::notStarted;
    // Polled once per band of each sweep, on this thread.
    auto stopHere = [&] {
        if (!pollStop(it.stop))
            return false;
        pipeline.abandon();
        return true;
    };
    bool completed = true;
    for (std::int64_t n = 0; n < it.nOuter && completed; ++n) {
        for (std::ptrdiff_t band = 0; band < B && completed; ++band) {
            if (stopHere()) {
                completed = false;
                break;
            }
            if (divergenceOnHelper(band)) {
                pipeline.divergenceReady[band].waitFor(n + 1);
            } else {
                // The previous shrink must have finished every band this band's links reach.
                if (n > 0)
                    pipeline.shrunkBands.waitFor((n - 1) * B + std::min(B, band + s.bandReach + 1));
                divergenceBand<V>(st, band, n, scratch);
            }
            sweepTvBand(st, it.terms, band);
        }
        for (std::ptrdiff_t band = 0; band < B && completed; ++band) {
            if (stopHere()) {
                completed = false;
                break;
            }
            sweepTvBand(st, it.terms, band);
            if (band == 0)
                st.u[st.originCopy] = st.u[0];
            pipeline.sweptBands.publish(n * B + band + 1);
        }
        if (completed && it.report)
            it.report(changeSinceLast(s, st.u, it.uold), it.context);
    }
    helper.join();
    return completed ? PipelineOutcome::completed : PipelineOutcome::stopped;
}

template PipelineOutcome iterateTvPipelined<1>(const TvState&, const TvIteration&, float*, float*);
template PipelineOutcome iterateTvPipelined<kWavefrontLanes>(const TvState&, const TvIteration&, float*, float*);

} // namespace imrestore
