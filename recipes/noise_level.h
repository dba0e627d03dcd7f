// The noise estimate of the denoisers.
#pragma once

#include <cstddef>

namespace imrestore {

// The standard deviation of white Gaussian noise in the M×N column-major
// image x (M, N ≥ 2): the median absolute value of the finest diagonal
// details of its one-level Daubechies-2 transform divided by 0.6745 (Donoho
// and Johnstone). An odd last row or column is left out. Negative when work
// memory is short.
double estimateNoiseLevel(const double* x, std::ptrdiff_t M, std::ptrdiff_t N, int threads = 1);

} // namespace imrestore
