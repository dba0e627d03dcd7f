// Choosing a pixel's neighbours in the patch graph from its window weights.
#pragma once

#include "nonlocal/patch_windows.h"
#include "nonlocal/weight_graph.h"

namespace imrestore {

// Enters the nearest and the best-matching neighbours of pixel (i, j) from its
// window weights (scan order), which it consumes. With nearest 4 the four
// 4-connected neighbours inside the image take slots 0..3 first. Then, while
// slots are free, the first largest weight in scan order above
// kSmallestLinkWeight is entered as a pair (insertPair) and removed.
// blockMax holds room for windowSize / kWindowLanes + 1 values.
void selectNeighbours(const PatchWindows& c, const WindowPass& pass, std::ptrdiff_t i, std::ptrdiff_t j, int nearest,
                      float* window, float* blockMax, WeightGraph& graph);

} // namespace imrestore
