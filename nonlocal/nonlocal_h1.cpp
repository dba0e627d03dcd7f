// Nonlocal H1 restoration by Gauss–Seidel sweeps over a weight graph.
#include "nonlocal/graph_solvers.h"
#include "nonlocal/reused_schedule.h"
#include "nonlocal/slab_arrays.h"

namespace imrestore {

bool solveNonlocalH1(float* u, const float* f, const GraphInput& graph, KeptLayout kept, float mu, std::int32_t nOuter,
                     int threads, StopCheck* stop)
{
    if (nOuter <= 0)
        return true;
    ReusedSweepSchedule reused;
    if (!reused.obtain(graph, threads, kept))
        return false;
    return solveNonlocalH1On(reused.get(), u, f, mu, nOuter, threads, stop);
}

bool solveNonlocalH1On(const SweepSchedule& schedule, float* u, const float* f, float mu, std::int32_t nOuter,
                       int threads, StopCheck* stop)
{
    if (nOuter <= 0)
        return true;
    // Padding positions: value 0, offset 0, denominator 1, so they stay finite.
    const std::size_t n = static_cast<std::size_t>(schedule.positions);
    const WorkArray<float> slab(n, 0.0f), offset(n, 0.0f), denominator(n, 1.0f);
    bool completed = slab && offset && denominator;
    if (completed) {
        imageToSlab(schedule, u, slab.get(), threads);
        scaledImageToSlab(schedule, f, mu, offset.get(), threads);
        denominatorsToSlab(schedule, mu, 1.0f, false, denominator.get(), threads);
        // Two sweeps per iteration, each polled band by band.
        for (std::int64_t sweep = 0; sweep < 2 * std::int64_t{nOuter} && completed; ++sweep)
            for (std::ptrdiff_t band = 0; band < schedule.bands && completed; ++band) {
                completed = !pollStop(stop);
                if (completed)
                    sweepBands(schedule, slab.get(), 1.0f, offset.get(), nullptr, denominator.get(), band, band + 1);
            }
        if (completed)
            slabToImage(schedule, slab.get(), u, threads);
    }
    return completed;
}

} // namespace imrestore
