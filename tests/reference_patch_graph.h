// A slow, literal construction of the patch graph, for comparison with the
// fast one.
#pragma once

#include "nonlocal/patch_graph.h"

namespace imrestore {

// Builds the graph pixel by pixel: patch copied into a buffer, window weights
// in a column-major buffer scanned di outer, dj inner; no threads, no SIMD.
void buildReferencePatchGraph(const float* image, const float* kernel, const PatchGraphSettings& s,
                              GraphArrays& arrays);

} // namespace imrestore
