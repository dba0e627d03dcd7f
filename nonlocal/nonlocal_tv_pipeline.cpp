#include "nonlocal/nonlocal_tv_pipeline.h"

#include "common/cpu_pause.h"
#include "common/thread_start.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>

namespace imrestore {

namespace {

// Spins briefly (the other thread is usually a band away), then sleeps in
// short naps: when both threads share one core, spinning or yielding would
// only keep the awaited thread from running.
class Patience {
    static constexpr int kSpins = 4000;   // about 50 µs of pause instructions

public:
    void wait()
    {
        if (spins_++ < kSpins)
            cpuPause();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    void restart() { spins_ = 0; }

private:
    int spins_ = 0;
};

// A count that one thread raises and another reads.
class Progress {
public:
    void publish(std::int64_t value) { value_.store(value, std::memory_order_release); }
    bool reached(std::int64_t value) const { return value_.load(std::memory_order_acquire) >= value; }

private:
    std::atomic<std::int64_t> value_{0};
};

// Which thread computes a band's divergence: the helper the even bands,
// the caller's thread the odd ones, just before its first sweep reaches them.
inline bool divergenceOnHelper(std::ptrdiff_t band) { return band % 2 == 0; }

template <int V>
struct Pipeline {
    Pipeline(const TvState& state, std::int32_t nOuter)
        : st(state), bands(state.schedule->bands), reach(state.schedule->bandReach),
          shrinks(std::int64_t{nOuter} * bands), divergenceReady(new (std::nothrow) Progress[bands]),
          shrunk(new (std::nothrow) Progress[bands])
    {
    }
    bool ready() const { return divergenceReady && shrunk; }

    const TvState& st;
    const std::ptrdiff_t bands, reach;
    const std::int64_t shrinks;   // band shrinks of the call, n·bands + band in order
    // Per band: the last iteration (counted from 1) whose divergence the helper has ready.
    std::unique_ptr<Progress[]> divergenceReady;
    // Per band: the iterations whose shrink is done.
    std::unique_ptr<Progress[]> shrunk;
    Progress sweptBands;   // bands the second sweep has finished, counted over all iterations
    std::atomic<std::int64_t> nextShrink{0};   // the next band shrink either thread may take

    // Lets the helper past the sweeps when the caller's thread stops early;
    // the helper then sees the stop and returns.
    void abandon() { sweptBands.publish(INT64_MAX); }

    // Whether iteration n may compute the divergence of `band`: the shrink
    // before it has finished every band that the band's links reach.
    bool divergenceMayStart(std::ptrdiff_t band, std::int64_t n) const
    {
        const std::ptrdiff_t last = std::min(bands - 1, band + reach);
        for (std::ptrdiff_t other = std::max<std::ptrdiff_t>(0, band - reach); other <= last; ++other)
            if (!shrunk[other].reached(n))
                return false;
        return true;
    }

    // Takes the next band shrink and does it, when the second sweep has
    // finished every band its links reach; false when there is none to take.
    bool shrinkNextBand(float* scratch)
    {
        std::int64_t q = nextShrink.load(std::memory_order_relaxed);
        if (q >= shrinks)
            return false;
        const std::int64_t n = q / bands;
        const std::ptrdiff_t band = static_cast<std::ptrdiff_t>(q % bands);
        if (!sweptBands.reached(n * bands + std::min(bands, band + reach + 1)) ||
            !nextShrink.compare_exchange_strong(q, q + 1, std::memory_order_relaxed))
            return false;
        shrinkBand<V>(st, band, n, scratch);
        shrunk[band].publish(n + 1);
        return true;
    }
};

// The helper's part: its share of the first divergence, then band shrinks
// as the second sweep allows them, each followed by its share of the next
// divergences their links complete.
template <int V>
void runHelper(Pipeline<V>& pipeline, std::int32_t nOuter, float* scratch, const StopCheck* stop)
{
    const std::ptrdiff_t B = pipeline.bands;
    for (std::ptrdiff_t band = 0; band < B; band += 2) {
        divergenceBand<V>(pipeline.st, band, 0, scratch);
        pipeline.divergenceReady[band].publish(1);
    }
    // The next divergence the helper owes: iteration n, band.
    std::int64_t n = 1;
    std::ptrdiff_t band = 0;
    Patience patience;
    while (!isStopped(stop)) {
        if (n < nOuter && pipeline.divergenceMayStart(band, n)) {
            divergenceBand<V>(pipeline.st, band, n, scratch);
            pipeline.divergenceReady[band].publish(n + 1);
            band += 2;
            if (band >= B) {
                band = 0;
                ++n;
            }
        } else if (!pipeline.shrinkNextBand(scratch)) {
            if (n >= nOuter && pipeline.nextShrink.load(std::memory_order_relaxed) >= pipeline.shrinks)
                return;
            patience.wait();
            continue;
        }
        patience.restart();
    }
}

} // namespace

template <int V>
PipelineOutcome iterateTvPipelined(const TvState& st, const TvIteration& it, float* scratch, float* helperScratch)
{
    const std::ptrdiff_t B = st.schedule->bands;
    Pipeline<V> pipeline(st, it.nOuter);
    if (!pipeline.ready())
        return PipelineOutcome::notStarted;
    std::thread helper = tryStartThread(runHelper<V>, std::ref(pipeline), it.nOuter, helperScratch, it.stop);
    if (!helper.joinable())
        return PipelineOutcome::notStarted;
    // Waits until `done` says so, meanwhile taking band shrinks the helper
    // has not taken: the caller's thread would otherwise idle while the
    // helper shrinks.
    auto waitHelping = [&](auto done) {
        Patience patience;
        while (!done())
            if (pipeline.shrinkNextBand(scratch))
                patience.restart();
            else
                patience.wait();
    };
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
                waitHelping([&] { return pipeline.divergenceReady[band].reached(n + 1); });
            } else {
                waitHelping([&] { return pipeline.divergenceMayStart(band, n); });
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
            it.report(changeSinceLast(*st.schedule, st.u, it.uold), it.context);
    }
    // The last iteration's shrinks, shared with the helper.
    if (completed)
        waitHelping([&] { return pipeline.nextShrink.load(std::memory_order_relaxed) >= pipeline.shrinks; });
    helper.join();
    return completed ? PipelineOutcome::completed : PipelineOutcome::stopped;
}

template PipelineOutcome iterateTvPipelined<1>(const TvState&, const TvIteration&, float*, float*);
template PipelineOutcome iterateTvPipelined<kWavefrontLanes>(const TvState&, const TvIteration&, float*, float*);

} // namespace imrestore
