// Nonlocal TV restoration by split Bregman iteration over a weight graph.
//
// Per outer iteration: the divergence of d − b (fixed during the sweeps, so
// computed once for both), two Gauss–Seidel sweeps on u, the shrink with the
// Bregman update, and the change measure when it is reported. u lives in
// slab order during the call (see sweep_schedule.h); d and b stay in the
// host's graph addressing. With two threads or more the steps overlap
// (nonlocal_tv_pipeline.h), with the same results.
#include "nonlocal/graph_solvers.h"
#include "nonlocal/reused_schedule.h"

#include "common/work_memory.h"
#include "nonlocal/nonlocal_tv_pipeline.h"
#include "nonlocal/nonlocal_tv_steps.h"
#include "nonlocal/slab_arrays.h"

#include <algorithm>
#include <cstring>

namespace imrestore {

namespace {

// Copies `count` floats from `from` to `to`, unless they are one array.
void copyIfApart(const float* from, float* to, std::size_t count)
{
    if (from != to && count > 0)
        std::memcpy(to, from, count * sizeof(float));
}

// The iterations one step after another; false when `stop` ended them early.
template <int V>
bool iterateTvSerially(const TvState& st, const TvIteration& it, float* scratch)
{
    const SweepSchedule& s = *st.schedule;
    for (std::int64_t n = 0; n < it.nOuter; ++n) {
        for (std::ptrdiff_t band = 0; band < s.bands; ++band)
            divergenceBand<V>(st, band, n, scratch);
        for (int sweep = 0; sweep < 2; ++sweep)
            for (std::ptrdiff_t band = 0; band < s.bands; ++band) {
                if (pollStop(it.stop))
                    return false;
                sweepTvBand(st, it.terms, band);
                if (sweep == 1 && band == 0)
                    st.u[st.originCopy] = st.u[0];
            }
        if (it.report)
            it.report(changeSinceLast(s, st.u, it.uold), it.context);
        for (std::ptrdiff_t band = 0; band < s.bands; ++band)
            shrinkBand<V>(st, band, n, scratch);
    }
    return true;
}

// Pipelined when there are helper buffers and the helper starts; serially otherwise.
template <int V>
bool iterateTv(const TvState& st, const TvIteration& it, float* scratch, float* helperScratch)
{
    if (helperScratch) {
        const PipelineOutcome outcome = iterateTvPipelined<V>(st, it, scratch, helperScratch);
        if (outcome != PipelineOutcome::notStarted)
            return outcome == PipelineOutcome::completed;
    }
    return iterateTvSerially<V>(st, it, scratch);
}

} // namespace

bool solveNonlocalTv(const NonlocalTvFields& fields, const float* f, const GraphInput& graph, KeptLayout kept,
                     const NonlocalTvSettings& settings, int threads, ProgressReport report, void* context,
                     StopCheck* stop)
{
    const std::size_t pixels = static_cast<std::size_t>(graph.pixels());
    if (settings.nOuter <= 0) {
        copyIfApart(fields.u0, fields.u, pixels);
        copyIfApart(fields.d0, fields.d, pixels * static_cast<std::size_t>(graph.slots));
        copyIfApart(fields.b0, fields.b, pixels * static_cast<std::size_t>(graph.slots));
        return true;
    }
    const int workers = std::max(1, threads);
    ReusedSweepSchedule reused;
    if (!reused.obtain(graph, workers, kept))
        return false;
    const SweepSchedule& schedule = reused.get();
    const std::size_t n = static_cast<std::size_t>(schedule.positions);
    const bool helped = threads > 1 && schedule.bands > 1;
    const std::size_t scratchSize = static_cast<std::size_t>(rowScratch(schedule));
    // One more slab position, past the pixels, for the copy of u(0, 0).
    const WorkArray<float> slab(n + 1, 0.0f), offset(n, 0.0f), subtract(n, 0.0f), denominator(n, 1.0f);
    const WorkArray<float> scratch((helped ? 2 : 1) * scratchSize, 0.0f);
    WorkArray<float> uold;
    if (report)
        uold = WorkArray<float>(n, 0.0f);
    if (!slab || !offset || !subtract || !denominator || !scratch || (report && !uold))
        return false;
    imageToSlab(schedule, fields.u0, slab.get(), workers);
    if (report)
        imageToSlab(schedule, fields.u0, uold.get(), workers);
    scaledImageToSlab(schedule, f, settings.mu, offset.get(), workers);
    denominatorsToSlab(schedule, settings.mu, settings.lambda, true, denominator.get(), workers);
    const TvState st{&schedule,        &graph,   slab.get(),      fields.d,       fields.b,
                     fields.d0,        fields.b0, settings.lambda, 1.0f / settings.lambda, subtract.get(),
                     static_cast<std::int32_t>(n), &simd::kernels()};
    const TvIteration it{{offset.get(), denominator.get()}, settings.nOuter, report, context, uold.get(), stop};
    float* helperScratch = helped ? scratch.get() + scratchSize : nullptr;
    const bool completed = schedule.lanes == kWavefrontLanes
                               ? iterateTv<kWavefrontLanes>(st, it, scratch.get(), helperScratch)
                               : iterateTv<1>(st, it, scratch.get(), helperScratch);
    if (completed)
        slabToImage(schedule, slab.get(), fields.u, workers);
    return completed;
}

} // namespace imrestore
