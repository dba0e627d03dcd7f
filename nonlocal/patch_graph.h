// Builds the weight graph of an image from the similarity of its patches.
#pragma once

#include "common/stop_check.h"
#include "nonlocal/weight_graph.h"

namespace imrestore {

struct PatchGraphSettings {
    int patchSide;    // side of the compared patches; an even side s acts as s − 1
    int windowSide;   // side of the search window; an even side s acts as s − 1
    int nearest;      // 0, or 4 to keep the 4-connected neighbours in slots 0..3
    int best;         // slots for best-matching neighbours (K = nearest + best)
    float h;          // filtering parameter: weight = fastExp(−D / h)
};

// Half sizes and border width derived from the sides.
inline int patchHalf(const PatchGraphSettings& s) { return (s.patchSide - 1) / 2; }
inline int windowHalf(const PatchGraphSettings& s) { return (s.windowSide - 1) / 2; }
inline int borderWidth(const PatchGraphSettings& s) { return patchHalf(s) + windowHalf(s); }

// Fills `arrays` (M, N, K and the host's arrays set by the caller; K = nearest
// + best) with the finished graph of `image`: preset, the interior pass and the
// four border bands choosing each pixel's neighbours by patch distance, then
// pairSlots, normalizeWeights and storeGraph.
//   image:  M×N single values, column-major (pixel (i, j) at i + M·j).
//   kernel: patchSide×patchSide weights, column-major; offset (a, b) of the
//           patch is weighted by element (a + p) + patchSide·(b + p), p = patchHalf(settings).
// Requires M·N < 2^31, M, N ≥ borderWidth(settings), 1 ≤ patchSide, windowSide ≤ 46340 (a patch and a
// window are indexed in 32 bits), nearest ∈ {0, 4}, windowSide ≥ 3 when nearest is 4, best ≥ 0 and h > 0.
// Window weights are computed by `threads` threads (at least one; the caller's
// thread is one of them); the graph is the same for every thread count.
// `stop` is polled on the caller's thread between stripes and band chunks
// and while large arrays are set up and stored. Every element of the
// host's arrays is written, so they may come uninitialised.
// Returns false, with `arrays` untouched, when work memory is not available
// or when `stop` said stop.
bool buildPatchGraph(const float* image, const float* kernel, const PatchGraphSettings& settings, int threads,
                     GraphArrays& arrays, StopCheck* stop = nullptr);

} // namespace imrestore
