// The vector kernels: one interface for every instruction set.
//
// Each kernel is a loop over independent elements, written once in plain
// C++ (the *Scalar twin, beside the algorithm it serves) and once per
// instruction set in a file of its own (simd/<kernel>_avx2.cpp,
// simd/<kernel>_avx512.cpp, compiled with that set's flags alone). All twins
// take the same arguments and compute the same operations in the same order
// per element, so every path gives the same bits. A vector twin hands the
// elements short of a whole vector to its scalar twin.
//
// A routine takes its table once per call from kernels() and keeps it.
#pragma once

#include "simd/simd_path.h"

#include <cstddef>
#include <cstdint>

namespace imrestore {
namespace simd {

// The 16-lane wavefront sweep over steps [first, last) of a slab (see
// nonlocal/sweep_schedule.h): at each step, lane r of u at step·16 + r becomes
//   (scale·Σ_k w_k·u(y_k) + offset − subtract) / denominator,
// or (offset + Σ_k w_k·u(y_k)) / denominator with subtract null; the sum
// from 0 in slot order, every step rounded to single precision.
struct WavefrontSweep {
    float* u;
    std::ptrdiff_t slots;
    const std::int32_t* linkPosition;   // link order: step, slot, lane
    const float* linkWeight;
    float scale;
    const float* offset;
    const float* subtract;
    const float* denominator;
};

// Whether pixels [first, last) of a row of one slot plane differ from a kept
// sweep layout (nonlocal/sweep_schedule.h): a neighbour outside the image,
// another slab position ((band·steps + column + lane·lag)·lanes + lane, in
// unsigned 32-bit arithmetic, band = row >> laneShift, lane = row & (lanes − 1)),
// or other weight bits. Nonzero when some pixel differs.
struct LayoutComparison {
    const std::int32_t* column;
    const std::int32_t* row;
    const float* weight;
    const std::int32_t* keptPosition;
    const float* keptWeight;
    std::uint32_t rows, cols, steps, lag, laneShift;   // lanes = 1 << laneShift
};

// One slot plane of the NL-TV divergence for pixels [first, last) of an image
// row starting at graph offset rowStart:
//   sum[j] ← (sum[j] + root[j]·(d(x) − d(y))) − root[j]·(b(x) − b(y)),
// x = rowStart + j, y = neighbour[j], d and b the slot's planes.
struct DivergenceTerms {
    float* sum;
    const float* root;
    const std::int32_t* neighbour;   // graph offset of each pixel's neighbour in the slot
    const float* d;
    const float* b;
    std::ptrdiff_t rowStart;
};

// One slot plane of the NL-TV shrink's first half for pixels [first, last)
// of a row: grad = root[j]·(u(y) − own[j]) with u(y) read from the slab at
// position[j] (position 0, pixel (0, 0), from originCopy instead),
// t = grad + b[j], norm[j] ← norm[j] + t·t, d[j] ← t, gradient[j] ← grad.
// The vector twins also ask for root, position, b and d of the pixels
// nextRow elements on (the same pixels a row down, in the same plane): the
// shrink visits every plane of a row before the next row, too many streams
// for the processor to foresee, and these loads are most of its time.
struct GradientTerms {
    const float* u;          // slab order
    const float* own;        // u of the row's pixels
    const float* root;
    const std::int32_t* position;   // slab position of each pixel's neighbour in the slot
    const float* b;
    float* d;
    float* gradient;
    float* norm;
    std::int32_t originCopy;
    std::ptrdiff_t nextRow;  // 0 in the last row
};

// One slot plane of the NL-TV shrink's second half for pixels [first, last):
// where tau > norm[j], d[j] ← 0 and b[j] ← bIn[j] + gradient[j]; elsewhere
// d[j] ← d[j]·((norm[j] − tau) / norm[j]) and b[j] ← bIn[j] + (gradient[j] − d[j]).
// bIn is b itself, or the starting b in a call's first iteration.
struct ShrinkTerms {
    const float* norm;
    const float* gradient;
    float* d;
    const float* bIn;
    float* b;
    float tau;
};

// The isotropic shrink of rows [first, last) of one ROF column pair:
// sx = (right − here) + bx, sy = (here[y + 1] − here[y]) + by; where
// tauSquared > sx² + sy², dx = dy = 0, elsewhere q = (√(sx² + sy²) − tau) / √…,
// dx = q·sx, dy = q·sy.
struct RofShrink {
    const double* here;
    const double* right;
    const double* bx;
    const double* by;
    double* dx;
    double* dy;
    double tau, tauSquared;
};

// out[k] ← Σ_e kernel[e]·(x[a + offset[e]] − x[b + k + offset[e]])², the terms
// in entry order, for k in [first, last): patch distances down a window column.
struct PatchDistances {
    const double* extended;
    std::ptrdiff_t a, b;
    const double* kernel;
    const std::int32_t* offset;
    int entries;
    double* out;
};

// Patch distances for kWindowLanes lanes to candidates [first, last): lane
// l's pixel is centre + l (or centre itself for every lane with oneCentre),
// its candidate n is centre + l + shift[n], and each sums over patch rows a
// from −up to down (outer) and columns b from −left to right (inner) the
// difference in single precision, kernel·d·d in double, the sum rounded to
// single after each term. Interior pixels take whole patches (all extents
// patchHalf); a border pixel takes its clipped patch, its lanes being
// candidates down a window column.
const int kWindowLanes = 16;
struct WindowDistances {
    const float* centre;
    std::ptrdiff_t rows;            // the image's column stride
    int patchHalf, patchSide;
    const float* kernel;            // patchSide² weights, row a + patchSide·column b
    const std::ptrdiff_t* shift;
    float (*distances)[kWindowLanes];
    int up, down, left, right;      // patch extents
    bool oneCentre;
};

// Outputs [first, last) of a block of one wavelet analysis step:
// lo[j] = Σ_t aLow[last − t]·s(t, j), hi[j] likewise with aHigh, t ascending
// from 0, s(t, j) = (t even ? even : odd)[t/2 + j].
struct AnalysisBlock {
    const double* even;
    const double* odd;
    const double* aLow;
    const double* aHigh;
    std::ptrdiff_t last;
    double* lo;
    double* hi;
};

// Output pairs [first, last) of a block of one wavelet synthesis step:
// out[2u] = Σ_k (sLow[last − 1 − 2k]·lo[u + k] + sHigh[last − 1 − 2k]·hi[u + k]),
// out[2u + 1] likewise with taps last − 2k, k ascending from 0 to e.
struct SynthesisBlock {
    const double* lo;
    const double* hi;
    const double* sLow;
    const double* sHigh;
    std::ptrdiff_t last, e;
    double* out;
};

// The same two steps for eight rows stored interleaved (element j of row r
// at j·8 + r), over outputs (pairs for synthesis) [first, last): analysis
// reads samples 2j … 2j + last of `samples`, synthesis coefficients u … u + e.
const int kRowGroup = 8;
struct RowGroupAnalysis {
    const double* samples;
    const double* aLow;
    const double* aHigh;
    std::ptrdiff_t last;
    double* lo;
    double* hi;
};
struct RowGroupSynthesis {
    const double* lo;
    const double* hi;
    const double* sLow;
    const double* sHigh;
    std::ptrdiff_t last, e;
    double* out;
};

using Range = std::ptrdiff_t;

struct Kernels {
    SimdPath path;
    void (*sweepWavefront)(const WavefrontSweep&, Range first, Range last);
    std::uint32_t (*layoutDifferences)(const LayoutComparison&, Range first, Range last);
    void (*divergenceTerms)(const DivergenceTerms&, Range first, Range last);
    void (*gradientTerms)(const GradientTerms&, Range first, Range last);
    void (*shrinkTerms)(const ShrinkTerms&, Range first, Range last);
    void (*rofShrink)(const RofShrink&, Range first, Range last);
    void (*patchDistances)(const PatchDistances&, Range first, Range last);
    void (*windowDistances)(const WindowDistances&, Range first, Range last);
    void (*analysisBlock)(const AnalysisBlock&, Range first, Range last);
    void (*synthesisBlock)(const SynthesisBlock&, Range first, Range last);
    void (*rowGroupAnalysis)(const RowGroupAnalysis&, Range first, Range last);
    void (*rowGroupSynthesis)(const RowGroupSynthesis&, Range first, Range last);
};

// The kernels of the path simdPath() names.
const Kernels& kernels();
// The kernels of a path; a path the processor lacks gives the best one it has.
const Kernels& kernelsFor(SimdPath path);

// The twins. The scalar ones live beside the routines that use them.
void sweepWavefrontScalar(const WavefrontSweep&, Range, Range);
void sweepWavefrontAvx2(const WavefrontSweep&, Range, Range);
void sweepWavefrontAvx512(const WavefrontSweep&, Range, Range);
std::uint32_t layoutDifferencesScalar(const LayoutComparison&, Range, Range);
std::uint32_t layoutDifferencesAvx2(const LayoutComparison&, Range, Range);
std::uint32_t layoutDifferencesAvx512(const LayoutComparison&, Range, Range);
void divergenceTermsScalar(const DivergenceTerms&, Range, Range);
void divergenceTermsAvx2(const DivergenceTerms&, Range, Range);
void divergenceTermsAvx512(const DivergenceTerms&, Range, Range);
void gradientTermsScalar(const GradientTerms&, Range, Range);
void gradientTermsAvx2(const GradientTerms&, Range, Range);
void gradientTermsAvx512(const GradientTerms&, Range, Range);
void shrinkTermsScalar(const ShrinkTerms&, Range, Range);
void shrinkTermsAvx2(const ShrinkTerms&, Range, Range);
void shrinkTermsAvx512(const ShrinkTerms&, Range, Range);
void rofShrinkScalar(const RofShrink&, Range, Range);
void rofShrinkAvx2(const RofShrink&, Range, Range);
void rofShrinkAvx512(const RofShrink&, Range, Range);
void patchDistancesScalar(const PatchDistances&, Range, Range);
void patchDistancesAvx2(const PatchDistances&, Range, Range);
void patchDistancesAvx512(const PatchDistances&, Range, Range);
void windowDistancesScalar(const WindowDistances&, Range, Range);
void windowDistancesAvx2(const WindowDistances&, Range, Range);
void windowDistancesAvx512(const WindowDistances&, Range, Range);
void analysisBlockScalar(const AnalysisBlock&, Range, Range);
void analysisBlockAvx2(const AnalysisBlock&, Range, Range);
void analysisBlockAvx512(const AnalysisBlock&, Range, Range);
void synthesisBlockScalar(const SynthesisBlock&, Range, Range);
void synthesisBlockAvx2(const SynthesisBlock&, Range, Range);
void synthesisBlockAvx512(const SynthesisBlock&, Range, Range);
void rowGroupAnalysisScalar(const RowGroupAnalysis&, Range, Range);
void rowGroupAnalysisAvx2(const RowGroupAnalysis&, Range, Range);
void rowGroupAnalysisAvx512(const RowGroupAnalysis&, Range, Range);
void rowGroupSynthesisScalar(const RowGroupSynthesis&, Range, Range);
void rowGroupSynthesisAvx2(const RowGroupSynthesis&, Range, Range);
void rowGroupSynthesisAvx512(const RowGroupSynthesis&, Range, Range);

} // namespace simd
} // namespace imrestore
