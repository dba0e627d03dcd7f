// Nonlocal TV iterations on two threads.
//
// The divergence and the shrink are independent per pixel and are computed
// band by band: a helper thread computes half of the divergence and shrinks
// bands, while the caller's thread sweeps, computes the other half just in
// time and, whenever it would otherwise wait, shrinks bands too (each band
// shrink is taken by one thread, in band order). The shrink of a band may
// start as soon as the second sweep has finished every band that the band's
// links reach, the next divergence of a band as soon as the shrink has
// finished every band its links reach, and the first sweep of a band needs
// only the band's divergence. That first sweep also cannot change a value a
// shrink still reads: the divergence it waits for comes after the shrink of
// every band reaching its band. So every step sees exactly the values of the
// one-step-after-another order (iterateTvSerially), and the results are
// identical bit for bit.
#pragma once

#include "nonlocal/nonlocal_tv_steps.h"

namespace imrestore {

enum class PipelineOutcome { completed, stopped, notStarted };

// Runs the iterations with a helper thread, whose buffers are helperScratch
// (rowScratch floats); `scratch` is the caller's. notStarted, with nothing
// done, when the helper thread or its bookkeeping could not be had.
template <int V>
PipelineOutcome iterateTvPipelined(const TvState& st, const TvIteration& it, float* scratch, float* helperScratch);

} // namespace imrestore
