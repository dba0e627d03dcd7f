// Per-pixel arrays of a sweep in slab order, and moving images into and out of it.
#pragma once

#include "common/parallel_ranges.h"
#include "nonlocal/sweep_schedule.h"

namespace imrestore {

// Slab position of pixel (i, 0); pixel (i, j) is at rowStart + j·lanes.
inline std::ptrdiff_t slabRowStart(const SweepSchedule& s, std::ptrdiff_t i)
{
    return slabPosition(s, i, 0);
}

// Each of these moves independent pixels, so `threads` share its rows (or
// columns); the values do not depend on their number.
//
// Rows from which a second thread pays off.
const std::ptrdiff_t kSlabRowsPerThread = 64;

// slab(x) ← image(x) for every pixel of an image in image addressing.
inline void imageToSlab(const SweepSchedule& s, const float* image, float* slab, int threads)
{
    forEachRange(s.rows, threads, 1, kSlabRowsPerThread, [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        for (std::ptrdiff_t i = first; i < last; ++i) {
            const std::ptrdiff_t start = slabRowStart(s, i);
            for (std::ptrdiff_t j = 0; j < s.cols; ++j)
                slab[start + j * s.lanes] = image[i + s.rows * j];
        }
    });
}

inline void slabToImage(const SweepSchedule& s, const float* slab, float* image, int threads)
{
    forEachRange(s.cols, threads, 1, kSlabRowsPerThread, [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        for (std::ptrdiff_t j = first; j < last; ++j)
            for (std::ptrdiff_t i = 0; i < s.rows; ++i)
                image[i + s.rows * j] = slab[slabRowStart(s, i) + j * s.lanes];
    });
}

// offset(x) ← scale·image(x) in slab order.
inline void scaledImageToSlab(const SweepSchedule& s, const float* image, float scale, float* offset, int threads)
{
    forEachRange(s.rows, threads, 1, kSlabRowsPerThread, [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        for (std::ptrdiff_t i = first; i < last; ++i) {
            const std::ptrdiff_t start = slabRowStart(s, i);
            for (std::ptrdiff_t j = 0; j < s.cols; ++j)
                offset[start + j * s.lanes] = scale * image[i + s.rows * j];
        }
    });
}

// denominator(x) ← mu + scale·Σ_k w_k(x) in slab order, from the weight sums
// the schedule keeps. With `scaled` false: mu + Σ_k w_k(x).
inline void denominatorsToSlab(const SweepSchedule& s, float mu, float scale, bool scaled, float* denominator,
                               int threads)
{
    forEachRange(s.rows, threads, 1, kSlabRowsPerThread, [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        for (std::ptrdiff_t i = first; i < last; ++i) {
            const std::ptrdiff_t start = slabRowStart(s, i);
            const float* sum = s.weightSum.get() + start;
            float* row = denominator + start;
            for (std::ptrdiff_t j = 0; j < s.cols; ++j)
                row[j * s.lanes] = scaled ? mu + scale * sum[j * s.lanes] : mu + sum[j * s.lanes];
        }
    });
}

} // namespace imrestore
