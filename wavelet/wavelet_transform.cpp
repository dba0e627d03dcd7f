#include "wavelet/wavelet_transform.h"

#include "common/parallel_ranges.h"
#include "simd/kernels.h"

#include <algorithm>
#include <cstring>


namespace imrestore {

namespace {

// Rows processed side by side in a row pass: a row's elements lie m apart,
// so the rows of one column are read and written together, a whole cache
// line at a time, and each output's sum runs over eight rows in one vector.
using simd::kRowGroup;

// Outputs of a sequence summed together, tap after tap.
const std::ptrdiff_t kOutputBlock = 512;

int halvings(std::ptrdiff_t d)
{
    int v = 0;
    while (d > 0 && d % 2 == 0) {
        d /= 2;
        ++v;
    }
    return v;
}

struct Work {
    double *sequence, *lo, *hi, *lowFilter, *highFilter, *rows, *rowsLo, *rowsHi, *split;
};

// Room of the row-group buffers: a group of rows of an image, none for a signal.
std::ptrdiff_t rowGroupRoom(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh)
{
    return m > 1 && n > 1 ? (n + nh) * kRowGroup : 0;
}

// Carves the work memory of an m×n transform with a filter of nh taps.
Work carve(double* work, std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh)
{
    const std::ptrdiff_t longest = std::max(m, n), group = rowGroupRoom(m, n, nh);
    Work w;
    w.sequence = work;
    w.lo = w.sequence + longest + nh;
    w.hi = w.lo + longest + nh;
    w.split = w.hi + longest + nh;
    w.lowFilter = w.split + 2 * (std::max(longest, kOutputBlock) + nh) + 4;
    w.highFilter = w.lowFilter + nh;
    w.rows = w.highFilter + nh;
    w.rowsLo = w.rows + group;
    w.rowsHi = w.rowsLo + group;
    return w;
}

std::size_t workSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh)
{
    const std::ptrdiff_t longest = std::max(m, n);
    return static_cast<std::size_t>(3 * (longest + nh) + 2 * (std::max(longest, kOutputBlock) + nh) + 4 + 2 * nh +
                                    3 * rowGroupRoom(m, n, nh));
}

// One analysis step of kRowGroup rows stored interleaved (sample j of row r
// at j·kRowGroup + r), N samples each, with room for N + last: periodic
// extension, then the sums of every output, each in ascending t.
void analyzeRowGroup(const simd::Kernels& kernels, double* s, std::ptrdiff_t N, const double* aLow,
                     const double* aHigh, std::ptrdiff_t last, double* lo, double* hi)
{
    for (std::ptrdiff_t i = N; i < N + last; ++i)
        for (int r = 0; r < kRowGroup; ++r)
            s[i * kRowGroup + r] = s[(i - N) * kRowGroup + r];
    kernels.rowGroupAnalysis({s, aLow, aHigh, last, lo, hi}, 0, (N + 1) / 2);
}

// One synthesis step of kRowGroup interleaved rows: lo and hi hold `half`
// coefficients from position e on; the e places before receive their
// periodic extension, then 2·half samples go to out.
void synthesizeRowGroup(const simd::Kernels& kernels, double* out, std::ptrdiff_t half, const double* sLow,
                        const double* sHigh, std::ptrdiff_t last, std::ptrdiff_t e, double* lo, double* hi)
{
    for (std::ptrdiff_t i = e - 1; i >= 0; --i)
        for (int r = 0; r < kRowGroup; ++r) {
            lo[i * kRowGroup + r] = lo[(half + i) * kRowGroup + r];
            hi[i * kRowGroup + r] = hi[(half + i) * kRowGroup + r];
        }
    kernels.rowGroupSynthesis({lo, hi, sLow, sHigh, last, e, out}, 0, half);
}

// One analysis step on N contiguous samples at src (periodic extension; for
// every output j, lo[j] = Σ_t aLow[last − t]·s[2j + t] and hi[j] likewise
// with aHigh, each sum from 0.0 in ascending t), writing lo to dstLo and hi to
// dstHi (each N/2 values), in blocks of outputs whose samples are split into
// even and odd runs in `block` (2·(kOutputBlock + last) + 4 doubles): the same
// sums in the same order, without copying the sequence or the halves. src
// may be the memory dstLo starts at (in-place levels): the samples the last
// outputs wrap around to are kept in `head` (last + 2 doubles) before the
// first block is written; dstHi must not overlap src.
void analyzeContiguous(const simd::Kernels& kernels, const double* src, std::ptrdiff_t N, const double* aLow,
                       const double* aHigh, std::ptrdiff_t last, double* dstLo, double* dstHi, double* block,
                       double* head)
{
    for (std::ptrdiff_t i = 0; i < last + 2; ++i)
        head[i] = src[i % N];
    const std::ptrdiff_t end = N / 2;
    for (std::ptrdiff_t first = 0; first < end; first += kOutputBlock) {
        const std::ptrdiff_t count = std::min(end - first, kOutputBlock);
        const std::ptrdiff_t pairs = count + (last + 1) / 2;
        double* even = block;
        double* odd = block + pairs;
        // Samples 2·first … 2·(first + pairs) − 1, wrapping past the end to the kept head.
        const double* run = src + 2 * first;
        if (2 * (first + pairs) <= N) {
            for (std::ptrdiff_t q = 0; q < pairs; ++q) {
                even[q] = run[2 * q];
                odd[q] = run[2 * q + 1];
            }
        } else {
            for (std::ptrdiff_t q = 0; q < pairs; ++q) {
                const std::ptrdiff_t at = 2 * (first + q);
                even[q] = at < N ? src[at] : head[at - N];
                odd[q] = at + 1 < N ? src[at + 1] : head[at + 1 - N];
            }
        }
        kernels.analysisBlock({even, odd, aLow, aHigh, last, dstLo + first, dstHi + first}, 0, count);
    }
}

// One synthesis step for `half` contiguous low coefficients at lo and high
// ones at hi, the coefficients before the first wrapping to the end of the
// halves, writing 2·half samples to out in blocks. With loTail given (the last e
// low coefficients, kept beforehand; half ≥ e), out may be the memory lo
// starts at: the blocks then run from the last to the first, so that each
// one overwrites only coefficients that no block still to come reads.
void synthesizeContiguous(const simd::Kernels& kernels, const double* lo, const double* hi, std::ptrdiff_t half,
                          const double* sLow,
                          const double* sHigh, std::ptrdiff_t last, std::ptrdiff_t e, double* out, double* block,
                          const double* loTail = nullptr)
{
    const std::ptrdiff_t blocks = (half + kOutputBlock - 1) / kOutputBlock;
    for (std::ptrdiff_t b = 0; b < blocks; ++b) {
        const std::ptrdiff_t first = (loTail ? blocks - 1 - b : b) * kOutputBlock;
        const std::ptrdiff_t count = std::min(half - first, kOutputBlock);
        // Coefficients first − e … first + count − 1, wrapping to the end of
        // the halves before the first one.
        const double* l = lo + first - e;
        const double* h = hi + first - e;
        if (first < e || (loTail && first < count)) {
            // Copies: the wrap before the first coefficient, or, in place,
            // the block whose samples overlap its own coefficients.
            double* lowCopy = block;
            double* highCopy = block + count + e;
            for (std::ptrdiff_t q = 0; q < count + e; ++q) {
                // first − e + q modulo half, in constant time: e grows with
                // the filter, which may be far longer than the signal.
                std::ptrdiff_t c = (first - e + q) % half;
                if (c < 0)
                    c += half;
                lowCopy[q] = loTail && c >= half - e ? loTail[c - (half - e)] : lo[c];
                highCopy[q] = hi[c];
            }
            l = lowCopy;
            h = highCopy;
        }
        kernels.synthesisBlock({l, h, sLow, sHigh, last, e, out + 2 * first}, 0, count);
    }
}

// Orientation: a column vector is processed as one row of contiguous samples.
struct Shape {
    std::ptrdiff_t rows, cols;   // m′ and n′; the stride between a row's samples is m′
};

Shape orient(std::ptrdiff_t m, std::ptrdiff_t n) { return n == 1 ? Shape{1, m} : Shape{m, n}; }

} // namespace

void simd::analysisBlockScalar(const AnalysisBlock& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        double low = 0.0, high = 0.0;
        for (std::ptrdiff_t t = 0; t <= a.last; ++t) {
            const double sample = (t % 2 == 0 ? a.even : a.odd)[t / 2 + j];
            low = low + a.aLow[a.last - t] * sample;
            high = high + a.aHigh[a.last - t] * sample;
        }
        a.lo[j] = low;
        a.hi[j] = high;
    }
}

void simd::synthesisBlockScalar(const SynthesisBlock& a, Range first, Range last)
{
    for (Range u = first; u < last; ++u) {
        double even = 0.0, odd = 0.0;
        for (std::ptrdiff_t k = 0; k <= a.e; ++k) {
            even = even + (a.sLow[a.last - 1 - 2 * k] * a.lo[u + k] + a.sHigh[a.last - 1 - 2 * k] * a.hi[u + k]);
            odd = odd + (a.sLow[a.last - 2 * k] * a.lo[u + k] + a.sHigh[a.last - 2 * k] * a.hi[u + k]);
        }
        a.out[2 * u] = even;
        a.out[2 * u + 1] = odd;
    }
}

void simd::rowGroupAnalysisScalar(const RowGroupAnalysis& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        double low[kRowGroup], high[kRowGroup];
        for (int r = 0; r < kRowGroup; ++r)
            low[r] = high[r] = 0.0;
        for (std::ptrdiff_t t = 0; t <= a.last; ++t) {
            const double tapLow = a.aLow[a.last - t], tapHigh = a.aHigh[a.last - t];
            const double* sample = a.samples + (2 * j + t) * kRowGroup;
            for (int r = 0; r < kRowGroup; ++r) {
                low[r] = low[r] + tapLow * sample[r];
                high[r] = high[r] + tapHigh * sample[r];
            }
        }
        for (int r = 0; r < kRowGroup; ++r) {
            a.lo[j * kRowGroup + r] = low[r];
            a.hi[j * kRowGroup + r] = high[r];
        }
    }
}

void simd::rowGroupSynthesisScalar(const RowGroupSynthesis& a, Range first, Range last)
{
    for (Range u = first; u < last; ++u) {
        double even[kRowGroup], odd[kRowGroup];
        for (int r = 0; r < kRowGroup; ++r)
            even[r] = odd[r] = 0.0;
        for (std::ptrdiff_t k = 0; k <= a.e; ++k) {
            const double a0 = a.sLow[a.last - 1 - 2 * k], b0 = a.sHigh[a.last - 1 - 2 * k];
            const double a1 = a.sLow[a.last - 2 * k], b1 = a.sHigh[a.last - 2 * k];
            const double* l = a.lo + (u + k) * kRowGroup;
            const double* h = a.hi + (u + k) * kRowGroup;
            for (int r = 0; r < kRowGroup; ++r) {
                even[r] = even[r] + (a0 * l[r] + b0 * h[r]);
                odd[r] = odd[r] + (a1 * l[r] + b1 * h[r]);
            }
        }
        for (int r = 0; r < kRowGroup; ++r) {
            a.out[(2 * u) * kRowGroup + r] = even[r];
            a.out[(2 * u + 1) * kRowGroup + r] = odd[r];
        }
    }
}

int defaultLevels(std::ptrdiff_t m, std::ptrdiff_t n)
{
    if (std::min(m, n) == 1)
        return std::max(halvings(m), halvings(n));
    return std::min(halvings(m), halvings(n));
}

std::size_t forwardWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh, int threads)
{
    return static_cast<std::size_t>(std::max(threads, 1)) * workSize(m, n, nh);
}
std::size_t inverseWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh, int threads)
{
    return forwardWorkSize(m, n, nh, threads);
}

namespace {

// The work memory of thread t.
Work carveFor(double* work, std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh, int t)
{
    return carve(work + static_cast<std::size_t>(t) * workSize(m, n, nh), m, n, nh);
}

// Every thread's copy of the filters: for analysis aLow, the reversed h, and
// aHigh, h with its even taps negated; for synthesis sLow = h and sHigh, the
// reversed h with its odd taps negated.
void setFilters(double* work, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int threads,
                bool analysis)
{
    for (int t = 0; t < threads; ++t) {
        const Work w = carveFor(work, m, n, nh, t);
        for (std::ptrdiff_t i = 0; i < nh; ++i) {
            w.lowFilter[i] = analysis ? h[nh - 1 - i] : h[i];
            w.highFilter[i] = analysis ? h[i] : h[nh - 1 - i];
        }
        for (std::ptrdiff_t i = analysis ? 0 : 1; i < nh; i += 2)
            w.highFilter[i] = -w.highFilter[i];
    }
}

} // namespace

void forwardWavelet(const double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    double* y, double* work, int threads, StopCheck* stop)
{
    if (m == 0 || n == 0)
        return;
    if (L == 0 || m * n == 1) {
        std::memcpy(y, x, static_cast<size_t>(m * n) * sizeof(double));
        return;
    }
    const Shape shape = orient(m, n);
    const std::ptrdiff_t stride = shape.rows, last = nh - 1;
    const simd::Kernels& kernels = simd::kernels();
    threads = std::max(threads, 1);
    setFilters(work, m, n, h, nh, threads, true);
    const Work w = carveFor(work, m, n, nh, 0);

    std::ptrdiff_t R = shape.rows, W = shape.cols;
    for (int k = 1; k <= L; ++k) {
        if (k > 1) {
            W /= 2;
            R = shape.rows == 1 ? 1 : R / 2;
        }
        const double* src = k == 1 ? x : y;
        if (pollStop(stop))
            return;
        // Row pass: groups of rows side by side (shared between threads),
        // then the rows left over.
        const std::ptrdiff_t groups = shape.rows > 1 ? R / kRowGroup : 0;
        forEachRange(groups, threads, 1, 1, [&](std::ptrdiff_t firstGroup, std::ptrdiff_t lastGroup, int t) {
            const Work g = carveFor(work, m, n, nh, t);
            for (std::ptrdiff_t i = firstGroup * kRowGroup; i < lastGroup * kRowGroup; i += kRowGroup) {
                for (std::ptrdiff_t j = 0; j < W; ++j)
                    std::memcpy(g.rows + j * kRowGroup, src + i + j * stride, kRowGroup * sizeof(double));
                analyzeRowGroup(kernels, g.rows, W, g.lowFilter, g.highFilter, last, g.rowsLo, g.rowsHi);
                for (std::ptrdiff_t j = 0; j < W / 2; ++j) {
                    std::memcpy(y + i + j * stride, g.rowsLo + j * kRowGroup, kRowGroup * sizeof(double));
                    std::memcpy(y + i + (W / 2 + j) * stride, g.rowsHi + j * kRowGroup, kRowGroup * sizeof(double));
                }
            }
        });
        std::ptrdiff_t i = groups * kRowGroup;
        if (stride == 1 && R == 1) {
            // A signal: its samples are contiguous.
            if (k == 1) {
                analyzeContiguous(kernels, x, W, w.lowFilter, w.highFilter, last, y, y + W / 2, w.split, w.sequence);
            } else {
                analyzeContiguous(kernels, y, W, w.lowFilter, w.highFilter, last, y, w.hi, w.split, w.sequence);
                std::memcpy(y + W / 2, w.hi, static_cast<size_t>(W / 2) * sizeof(double));
            }
            i = R;
        }
        for (; i < R; ++i) {
            for (std::ptrdiff_t j = 0; j < W; ++j)
                w.lo[j] = src[i + j * stride];
            analyzeContiguous(kernels, w.lo, W, w.lowFilter, w.highFilter, last, w.lo, w.hi, w.split, w.sequence);
            for (std::ptrdiff_t j = 0; j < W / 2; ++j) {
                y[i + j * stride] = w.lo[j];
                y[i + (W / 2 + j) * stride] = w.hi[j];
            }
        }
        // Column pass on what the row pass stored, columns shared between threads.
        if (pollStop(stop))
            return;
        if (shape.rows > 1 && W > 0)
            forEachRange(W, threads, 1, 1, [&](std::ptrdiff_t firstColumn, std::ptrdiff_t lastColumn, int t) {
                const Work c = carveFor(work, m, n, nh, t);
                for (std::ptrdiff_t j = firstColumn; j < lastColumn; ++j) {
                    double* column = y + j * stride;
                    analyzeContiguous(kernels, column, R, c.lowFilter, c.highFilter, last, column, c.hi, c.split,
                                      c.sequence);
                    std::memcpy(column + R / 2, c.hi, static_cast<size_t>(R / 2) * sizeof(double));
                }
            });
    }
}

void inverseWavelet(double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    const double* y, double* work, int threads, StopCheck* stop)
{
    if (m == 0 || n == 0)
        return;
    const Shape shape = orient(m, n);
    // A signal's details are read straight from y, level by level, and every
    // sample of x is written by the finest level, so x needs no copy of y.
    const bool signal = shape.rows == 1 && L > 0 && m * n > 1;
    if (!signal)
        std::memcpy(x, y, static_cast<size_t>(m * n) * sizeof(double));
    if (L == 0 || m * n == 1)
        return;
    const std::ptrdiff_t stride = shape.rows, last = nh - 1, e = nh / 2 - 1;
    const simd::Kernels& kernels = simd::kernels();
    threads = std::max(threads, 1);
    setFilters(work, m, n, h, nh, threads, false);
    const Work w = carveFor(work, m, n, nh, 0);

    std::ptrdiff_t scale = 1;
    for (int k = 1; k < L; ++k)
        scale *= 2;
    std::ptrdiff_t R = shape.rows == 1 ? 1 : shape.rows / scale, W = shape.cols / scale;
    for (int level = 0; level < L; ++level) {
        const std::ptrdiff_t halfR = R / 2, halfW = W / 2;
        if (pollStop(stop))
            return;
        // Columns, then groups of rows, each shared between threads.
        if (shape.rows > 1 && W > 0)
            forEachRange(W, threads, 1, 1, [&](std::ptrdiff_t firstColumn, std::ptrdiff_t lastColumn, int t) {
                const Work c = carveFor(work, m, n, nh, t);
                for (std::ptrdiff_t j = firstColumn; j < lastColumn; ++j) {
                    double* column = x + j * stride;
                    std::memcpy(c.lo, column, static_cast<size_t>(R) * sizeof(double));   // both halves
                    synthesizeContiguous(kernels, c.lo, c.lo + halfR, halfR, c.lowFilter, c.highFilter, last, e, column,
                                         c.split);
                }
            });
        if (pollStop(stop))
            return;
        const std::ptrdiff_t groups = shape.rows > 1 ? R / kRowGroup : 0;
        forEachRange(groups, threads, 1, 1, [&](std::ptrdiff_t firstGroup, std::ptrdiff_t lastGroup, int t) {
            const Work g = carveFor(work, m, n, nh, t);
            for (std::ptrdiff_t i = firstGroup * kRowGroup; i < lastGroup * kRowGroup; i += kRowGroup) {
                for (std::ptrdiff_t j = 0; j < halfW; ++j) {
                    std::memcpy(g.rowsLo + (e + j) * kRowGroup, x + i + j * stride, kRowGroup * sizeof(double));
                    std::memcpy(g.rowsHi + (e + j) * kRowGroup, x + i + (halfW + j) * stride,
                                kRowGroup * sizeof(double));
                }
                synthesizeRowGroup(kernels, g.rows, halfW, g.lowFilter, g.highFilter, last, e, g.rowsLo, g.rowsHi);
                for (std::ptrdiff_t j = 0; j < W; ++j)
                    std::memcpy(x + i + j * stride, g.rows + j * kRowGroup, kRowGroup * sizeof(double));
            }
        });
        std::ptrdiff_t i = groups * kRowGroup;
        if (signal) {
            // The approximation from the coarser levels (from y at the
            // coarsest), the details from y, the samples into x.
            if (level > 0 && halfW >= e) {
                std::memcpy(w.lo, x + halfW - e, static_cast<size_t>(e) * sizeof(double));
                synthesizeContiguous(kernels, x, y + halfW, halfW, w.lowFilter, w.highFilter, last, e, x, w.split, w.lo);
            } else {
                std::memcpy(w.lo, level == 0 ? y : x, static_cast<size_t>(halfW) * sizeof(double));
                synthesizeContiguous(kernels, w.lo, y + halfW, halfW, w.lowFilter, w.highFilter, last, e, x, w.split);
            }
            i = R;
        }
        for (; i < R; ++i) {
            for (std::ptrdiff_t j = 0; j < halfW; ++j) {
                w.lo[j] = x[i + j * stride];
                w.hi[j] = x[i + (halfW + j) * stride];
            }
            synthesizeContiguous(kernels, w.lo, w.hi, halfW, w.lowFilter, w.highFilter, last, e, w.sequence, w.split);
            for (std::ptrdiff_t j = 0; j < W; ++j)
                x[i + j * stride] = w.sequence[j];
        }
        R = shape.rows == 1 ? 1 : 2 * R;
        W = 2 * W;
    }
}

} // namespace imrestore
