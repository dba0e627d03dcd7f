// Periodic discrete wavelet transforms over L levels with a two-channel
// filter bank built from one scaling filter h, of signals (one row or
// column) and images, in double precision.
//
// Layout of a transform: level k replaces the top-left block of the previous
// level by its four quadrants: approximation top left, high-pass along rows
// top right, high-pass along columns bottom left, both bottom right. A signal
// ends as [approximation | details of level L | … | details of level 1].
#pragma once

#include <cstddef>

// The default number of levels for an m×n array (m, n ≥ 1): for a vector the
// number of times its length halves to an even length, for an image the
// smaller of those of m and n.
int defaultLevels(std::ptrdiff_t m, std::ptrdiff_t n);

// Doubles of work memory the transforms need; the caller supplies it zeroed
// or not.
std::size_t forwardWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh);
std::size_t inverseWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh);

// One analysis step on the N samples at the start of s, which has room for
// N + last: periodic extension, then for every even start p = 2j,
// lo[j] = Σ_t aLow[last − t]·s[p + t] and hi[j] = Σ_t aHigh[last − t]·s[p + t],
// each sum from 0.0 in ascending t. split: scratch of N + last + 1 doubles.
void analysisStep(double* s, std::ptrdiff_t N, const double* aLow, const double* aHigh, std::ptrdiff_t last,
                  double* lo, double* hi, double* split);

// One synthesis step: lo and hi hold `half` coefficients from position e on;
// the e places before receive their periodic extension; then
// out[2u] = Σ_k (sLow[last−1−2k]·lo[u+k] + sHigh[last−1−2k]·hi[u+k]) and
// out[2u+1] = Σ_k (sLow[last−2k]·lo[u+k] + sHigh[last−2k]·hi[u+k]), k = 0..e,
// each pair added together before it joins the sum. split: scratch of
// 2·half doubles.
void synthesisStep(double* out, std::ptrdiff_t half, const double* sLow, const double* sHigh, std::ptrdiff_t last,
                   std::ptrdiff_t e, double* lo, double* hi, double* split);

// The L-level transform of the m×n column-major x into y (every dimension
// above 1 a multiple of 2^L). L = 0, or a 1×1 input, copies x.
void forwardWavelet(const double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    double* y, double* work);

// Rebuilds x from the L-level transform y (nh even and at least 2): the
// inverse of forwardWavelet for filters orthonormal to their even shifts.
// L = 0, or a 1×1 input, copies y.
void inverseWavelet(double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    const double* y, double* work);
