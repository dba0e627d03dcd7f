// Nonlocal H1 restoration by Gauss–Seidel sweeps over a weight graph.
#include "nonlocal/graph_solvers.h"
#include "nonlocal/slab_arrays.h"

namespace imrestore {

bool solveNonlocalH1(float* u, const float* f, const GraphInput& graph, float mu, std::int32_t nOuter, int threads,
                     StopCheck* stop)
{
    if (nOuter <= 0)
        return true;
    SweepSchedule schedule;
    if (!buildSweepSchedule(graph, threads, &schedule))
        return false;
    // Padding positions: value 0, offset 0, denominator 1, so they stay finite.
    float* slab = allocateFilled(schedule.positions, 0.0f);
    float* offset = allocateFilled(schedule.positions, 0.0f);
    float* denominator = allocateFilled(schedule.positions, 1.0f);
    bool completed = slab && offset && denominator;
    if (completed) {
        imageToSlab(schedule, u, slab);
        scaledImageToSlab(schedule, f, mu, offset);
        weightSumsToSlab(schedule, graph, mu, 1.0f, false, denominator);
        // Two sweeps per iteration, each polled band by band.
        for (std::int64_t sweep = 0; sweep < 2 * std::int64_t{nOuter} && completed; ++sweep)
            for (std::ptrdiff_t band = 0; band < schedule.bands && completed; ++band) {
                completed = !pollStop(stop);
                if (completed)
                    sweepBands(schedule, slab, 1.0f, offset, nullptr, denominator, band, band + 1);
            }
        if (completed)
            slabToImage(schedule, slab, u);
    }
    releaseWorkMemory(slab);
    releaseWorkMemory(offset);
    releaseWorkMemory(denominator);
    releaseSweepSchedule(&schedule);
    return completed;
}

} // namespace imrestore
