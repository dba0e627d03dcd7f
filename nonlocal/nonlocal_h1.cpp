// Nonlocal H1 restoration by Gauss–Seidel sweeps over a weight graph.
#include "graph_solvers.h"
#include "slab_arrays.h"

bool solveNonlocalH1(float* u, const float* f, const GraphInput& graph, float mu, std::int32_t nOuter, int threads)
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
    const bool allocated = slab && offset && denominator;
    if (allocated) {
        imageToSlab(schedule, u, slab);
        scaledImageToSlab(schedule, f, mu, offset);
        weightSumsToSlab(schedule, graph.weights, mu, 1.0f, false, denominator);
        for (std::int32_t iteration = 0; iteration < nOuter; ++iteration) {
            sweepGaussSeidel(schedule, slab, 1.0f, offset, nullptr, denominator);
            sweepGaussSeidel(schedule, slab, 1.0f, offset, nullptr, denominator);
        }
        slabToImage(schedule, slab, u);
    }
    releaseWorkMemory(slab);
    releaseWorkMemory(offset);
    releaseWorkMemory(denominator);
    releaseSweepSchedule(&schedule);
    return allocated;
}
