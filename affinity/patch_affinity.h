// The symmetric nonlocal-means affinity of an image as a sparse matrix in
// compressed-column form: for every pixel i and every pixel j of its
// (2t+1)×(2t+1) search window (cut at the border), the weight
// exp(−Σ_e g(e)·(patch_i(e) − patch_j(e))²), g a Gaussian over the
// (2p+1)×(2p+1) patch offsets normalised to sum 1/(2h²); 1 on the diagonal.
// Patches read a mirror extension of the image by p pixels.
#pragma once

#include "common/stop_check.h"

#include <cstddef>
#include <cstdint>

namespace imrestore {

// Maps q in −p..m−1+p onto 0..m−1 by mirroring at the border pixels, which
// are not repeated: −1 maps to 1 and m to m−2.
inline std::ptrdiff_t mirrorIndex(std::ptrdiff_t q, std::ptrdiff_t m)
{
    if (q < 0)
        return -q;
    if (q > m - 1)
        return 2 * (m - 1) - q;
    return q;
}

// The (M+2p)×(N+2p) column-major mirror extension of an M×N image; p < M, N.
void buildExtendedImage(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, int p, double* extended);

// The (2p+1)² kernel weights and their displacements r + s·extendedRows in
// the extended image, rows r outer and columns s inner: σ = p/2, weights
// exp(−(r²+s²)/(2σ²)) normalised by 2·(their sum)·h². With p = 0 the single
// weight is 1 before normalisation (the limit σ → 0).
void buildPatchKernel(int p, std::ptrdiff_t extendedRows, double h, double* kernel, std::int32_t* offset);

// Σ_e kernel(e)·(extended[a + offset(e)] − extended[b + offset(e)])², in entry order.
double patchDistance(const double* extended, std::ptrdiff_t a, std::ptrdiff_t b, const double* kernel,
                     const std::int32_t* offset, int entries);

// Entries of the matrix: Σ_y (clipped window height) · Σ_x (clipped window width).
std::int64_t affinityEntries(std::ptrdiff_t M, std::ptrdiff_t N, int t);

// Fills the n×n matrix (n = M·N) into values, rowIndex (one per entry) and
// columnStart (n + 1), columns in order with rows ascending, on `threads`
// threads (the result does not depend on it). False, with nothing written,
// when work memory is short; false, partly written, when `stop` (polled at
// each image column) said stop.
bool buildPatchAffinity(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, int p, int t, double h,
                        int threads, double* values, std::int64_t* rowIndex, std::int64_t* columnStart,
                        StopCheck* stop = nullptr);

} // namespace imrestore
