// The steps of a nonlocal TV outer iteration, band by band: the divergence
// of d − b, the shrink with the Bregman update, and the change measure. The
// sweeps themselves are those of sweep_schedule.h.
#pragma once

#include "common/stop_check.h"
#include "nonlocal/graph_view.h"
#include "nonlocal/slab_arrays.h"
#include "nonlocal/sweep_schedule.h"

#include <algorithm>
#include <cstdint>

namespace imrestore {

struct TvState {
    const SweepSchedule* schedule;
    const GraphInput* graph;
    float* u;              // slab order
    float* d;              // graph addressing, K planes
    float* b;
    // The starting d and b, which the first iteration reads instead (they
    // may be d and b themselves).
    const float* d0;
    const float* b0;
    float lambda, tau;
    float* subtract;       // slab order: λ·div(d − b)
    // Slab index just past the pixels, where the second sweep leaves a copy
    // of u(0, 0) for the shrink. Empty slots name pixel (0, 0) from anywhere
    // in the image, and the next iteration's first sweep may already have
    // changed u(0, 0) while the shrink reads it.
    std::int32_t originCopy;
    const simd::Kernels* kernels;   // the vector path of this call
};

// Floats of the buffers of one thread: a sum per pixel of a band, or a
// value, a norm and a gradient per slot for each pixel of a row.
inline std::ptrdiff_t rowScratch(const SweepSchedule& s)
{
    return std::max<std::ptrdiff_t>(s.lanes, s.slots + 2) * s.cols;
}

// Image rows of a band.
inline std::ptrdiff_t bandEnd(const SweepSchedule& s, std::ptrdiff_t band)
{
    return std::min(s.rows, (band + 1) * s.lanes);
}

// subtract(x) ← λ·div(d − b) for the pixels of a band (see divergenceRows in
// the source) in iteration n (counted from 0); `scratch` holds rowScratch
// floats. V is the schedule's lanes.
template <int V>
void divergenceBand(const TvState& st, std::ptrdiff_t band, std::int64_t n, float* scratch);

// The shrink of the nonlocal gradient plus b into d and the Bregman update of
// b for the pixels of a band in iteration n, row by row.
template <int V>
void shrinkBand(const TvState& st, std::ptrdiff_t band, std::int64_t n, float* scratch);

// The root-mean-square change of u since the last call, the pixels taken row
// by row; uold (slab order) takes u.
float changeSinceLast(const SweepSchedule& s, const float* u, float* uold);

// The sweep of one band with the terms of the state: the update stated with
// solveNonlocalTv.
struct SweepTerms {
    const float* offset;
    const float* denominator;
};

// What the iteration loops need besides the state.
struct TvIteration {
    SweepTerms terms;
    std::int32_t nOuter;
    void (*report)(float change, void* context);   // may be null
    void* context;
    float* uold;     // slab order; the last reported u, when report is given
    StopCheck* stop; // polled before each band of each sweep
};

inline void sweepTvBand(const TvState& st, const SweepTerms& terms, std::ptrdiff_t band)
{
    sweepBands(*st.schedule, st.u, st.lambda, terms.offset, st.subtract, terms.denominator, band, band + 1);
}

} // namespace imrestore
