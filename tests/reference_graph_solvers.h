// Slow, literal versions of the graph solvers, for comparison with the fast
// ones: one pixel at a time in row-by-row order, straight from the host
// arrays, no threads.
#pragma once

#include "nonlocal/graph_solvers.h"

#include <string>
#include <vector>

namespace imrestore {

// Returns the progress values, one per outer iteration.
std::vector<float> referenceNonlocalTv(float* u, float* d, float* b, const float* f, const GraphInput& graph,
                                       const NonlocalTvSettings& settings);
void referenceNonlocalH1(float* u, const float* f, const GraphInput& graph, float mu, int nOuter);

} // namespace imrestore
