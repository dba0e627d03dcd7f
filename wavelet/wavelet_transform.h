// Periodic discrete wavelet transforms over L levels with a two-channel
// filter bank built from one scaling filter h, of signals (one row or
// column) and images, in double precision.
//
// Layout of a transform: level k replaces the top-left block of the previous
// level by its four quadrants: approximation top left, high-pass along rows
// top right, high-pass along columns bottom left, both bottom right. A signal
// ends as [approximation | details of level L | … | details of level 1].
#pragma once

#include "common/stop_check.h"

#include <cstddef>

namespace imrestore {

// The default number of levels for an m×n array (m, n ≥ 1): for a vector the
// number of times its length halves to an even length, for an image the
// smaller of those of m and n.
int defaultLevels(std::ptrdiff_t m, std::ptrdiff_t n);

// Doubles of work memory the transforms need on `threads` threads; the caller
// supplies it zeroed or not.
std::size_t forwardWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh, int threads = 1);
std::size_t inverseWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh, int threads = 1);

// The L-level transform of the m×n column-major x into y (every dimension
// above 1 a multiple of 2^L). L = 0, or a 1×1 input, copies x.
//
// Each level filters the rows, then the columns, of its block, periodically
// extended: with aLow the reversed h and aHigh = h with the signs of its
// even taps turned, the step over N samples s gives for every j < N/2
//   lo[j] = Σ_t aLow[last − t]·s[2j + t],  hi[j] = Σ_t aHigh[last − t]·s[2j + t],
// last = nh − 1, each sum from 0.0 in ascending t; lo fills the first half.
//
// The rows and the columns of a pass are shared between `threads` threads
// (work memory for as many); the results do not depend on their number.
// `stop`, when given, is polled on the calling thread before each pass; once
// it says stop, the transform returns with y unfinished.
void forwardWavelet(const double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    double* y, double* work, int threads = 1, StopCheck* stop = nullptr);

// Rebuilds x from the L-level transform y (nh even and at least 2): the
// inverse of forwardWavelet for filters orthonormal to their even shifts.
// L = 0, or a 1×1 input, copies y.
//
// Each level rebuilds the columns, then the rows, of its block: with sLow = h,
// sHigh the reversed h with the signs of its odd positions turned, e = nh/2 − 1
// and lo, hi the two halves of N/2 coefficients (index c read as c mod N/2),
//   s[2u]     = Σ_k (sLow[last − 1 − 2k]·lo[u + k − e] + sHigh[last − 1 − 2k]·hi[u + k − e]),
//   s[2u + 1] = Σ_k (sLow[last − 2k]·lo[u + k − e] + sHigh[last − 2k]·hi[u + k − e]),
// k = 0..e, each pair added together before it joins the sum.
// `stop` as for forwardWavelet, x then unfinished.
void inverseWavelet(double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    const double* y, double* work, int threads = 1, StopCheck* stop = nullptr);

} // namespace imrestore
