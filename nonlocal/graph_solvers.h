// Restoring an image over a weight graph: nonlocal TV by split Bregman
// iteration, and nonlocal H1 by Gauss–Seidel sweeps.
//
// Images use image addressing (pixel (i, j) at i + M·j); the split and Bregman
// fields d and b use graph addressing with one plane per slot (pixel (i, j),
// slot k at j + N·i + M·N·k). Arithmetic is single precision with every step
// rounded, pixels visited row by row and slots in ascending order, so results
// do not depend on the thread count.
#pragma once

#include "common/stop_check.h"
#include "nonlocal/reused_schedule.h"
#include "nonlocal/sweep_schedule.h"

#include <cstdint>

namespace imrestore {

struct NonlocalTvSettings {
    float lambda;          // weight of the split penalty; shrink threshold 1/λ
    float mu;              // weight of the fidelity term
    std::int32_t nOuter;   // outer iterations
};

// The unknowns of an NL-TV call: it starts from u0, d0 and b0 and leaves its
// results in u, d and b. Each pair is one array (in place) or two that do
// not overlap, the starting one then only read.
struct NonlocalTvFields {
    const float* u0;
    const float* d0;
    const float* b0;
    float* u;
    float* d;
    float* b;
};

// Receives the root-mean-square change of u after each outer iteration.
using ProgressReport = void (*)(float change, void* context);

// Runs nOuter outer iterations of split Bregman NL-TV on (u, d, b):
// two Gauss–Seidel sweeps on u, a shrink of the nonlocal gradient plus b into
// d with the Bregman update of b, and, when `report` is given, the change
// measure. Each sweep visits the pixels row by row and sets
//   u(x) ← (λ·Σ_k w_k·u(y_k) + μ·f(x) − λ·S(x)) / (μ + λ·Σ_k w_k),
//   S(x) = Σ_k s_k·(d_k(x) − d_k(y_k)) − s_k·(b_k(x) − b_k(y_k)),
// with w_k and s_k the weight and root planes of slot k, S fixed during
// both sweeps, every step rounded to single precision and the sums in slot
// order. Every neighbour must lie inside the image. False, with u, d and b
// untouched, when work memory is short; false, with d and b partly updated
// and u untouched, when `stop` (polled before each band of each sweep) said
// stop.
bool solveNonlocalTv(const NonlocalTvFields& fields, const float* f, const GraphInput& graph, KeptLayout kept,
                     const NonlocalTvSettings& settings, int threads, ProgressReport report, void* context,
                     StopCheck* stop = nullptr);

// Runs nOuter outer iterations of two Gauss–Seidel sweeps each on u in place:
// u(x) ← (μ·f(x) + Σ w_k·u(y_k)) / (μ + Σ w_k). Reads only the weight planes
// of the graph's weight array; `threads` share the set-up. False, with u
// untouched, when work memory is short or when `stop` (polled before each
// band of each sweep) said stop.
bool solveNonlocalH1(float* u, const float* f, const GraphInput& graph, KeptLayout kept, float mu, std::int32_t nOuter,
                     int threads, StopCheck* stop = nullptr);

// solveNonlocalH1 over a layout already made for the graph, which it only
// reads: solves over one layout may run side by side.
bool solveNonlocalH1On(const SweepSchedule& schedule, float* u, const float* f, float mu, std::int32_t nOuter,
                       int threads, StopCheck* stop = nullptr);

} // namespace imrestore
