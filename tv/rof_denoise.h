// Rudin–Osher–Fatemi total-variation denoising by split Bregman iteration,
// in double precision.
//
// dx ((N−1)×M) and dy (N×(M−1)) split off the forward differences of u
// across columns and rows, bx and by are their Bregman fields; λ = 2μ.
// Iterations run in blocks of five until the relative change of u since the
// previous block is no greater than the tolerance (or not a number).
#pragma once

#include "tv/column_matrix.h"
#include "common/stop_check.h"
#include "simd/kernels.h"

#include <cstddef>
#include <limits>

namespace imrestore {

// The settings for which the iteration stays among normal doubles and ends:
// a subnormal μ loses its digits in the sweeps (the relative change then
// never meets any tolerance), beyond kLargestRofMu the denominator μ + 4λ
// overflows, and below kSmallestRofTolerance the relative change of
// double-precision iterates may settle above the tolerance.
constexpr double kSmallestRofMu = std::numeric_limits<double>::min();
constexpr double kLargestRofMu = std::numeric_limits<double>::max() / 16;
constexpr double kSmallestRofTolerance = 1e-10;

// The fields of one denoising call, all columns×rows ColumnMatrix values.
struct RofFields {
    ColumnMatrix u;           // N×M, the estimate
    ColumnMatrix dx, bx;      // (N−1)×M
    ColumnMatrix dy, by;      // N×(M−1)
    ColumnMatrix scaledData;  // N×M, μ·f
    ColumnMatrix divergence;  // N×M, the split and Bregman terms of the sweep
    const simd::Kernels* kernels = &simd::kernels();   // the vector path (a test may choose another)
    int threads = 1;   // share the per-pixel passes (not the sweep); results do not depend on it
};

// One in-place Gauss–Seidel sweep over u: inner pixels column by column,
// then the first and last columns, the first and last rows, the corners.
void gaussSeidelSweep(RofFields& s, double mu, double lambda);

// Rewrites dx and dy: the isotropic shrink of ∇u + b with threshold 1/λ, and
// the scalar soft threshold on the last row (dx) and last column (dy).
void shrinkGradient(RofFields& s, double lambda);

// bx += (u(x+1, y) − u(x, y)) − dx, and by += (u(x, y+1) − u(x, y)) − dy.
void updateBregmanX(RofFields& s);
void updateBregmanY(RofFields& s);

// blockLength times: innerSweeps times (sweep, shrink), then both Bregman updates.
void bregmanBlock(RofFields& s, double mu, double lambda, int innerSweeps, int blockLength);

// sqrt(Σ(uPrev − u)² / Σ uPrev²) over columns, then rows; uPrev takes u.
double relativeChange(const ColumnMatrix& u, ColumnMatrix& uPrev);

// Denoises the M×N column-major image (M, N ≥ 2) into result (M×N, column
// major). False, with everything released and result untouched, when work
// memory is short or when `stop` (polled before each iteration) said stop.
bool denoiseRof(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, double mu, double tolerance,
                double* result, StopCheck* stop = nullptr, int threads = 1);

} // namespace imrestore
