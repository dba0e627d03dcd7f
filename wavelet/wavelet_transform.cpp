#include "wavelet_transform.h"

#include <algorithm>
#include <cstring>

#if defined(__AVX512F__)
#include <immintrin.h>
#endif

namespace {

// Rows processed side by side in a row pass: a row's elements lie m apart,
// so the rows of one column are read and written together, a whole cache
// line at a time, and each output's sum runs over eight rows in one vector.
const int kRowGroup = 8;

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

// analysisStep for G rows stored interleaved (sample j of row r at j·G + r):
// the same sums, each output's terms in ascending t, G rows per vector.
template <int G>
void analysisRows(double* s, std::ptrdiff_t N, const double* aLow, const double* aHigh, std::ptrdiff_t last,
                  double* lo, double* hi)
{
    for (std::ptrdiff_t i = N; i < N + last; ++i)
        for (int r = 0; r < G; ++r)
            s[i * G + r] = s[(i - N) * G + r];
    for (std::ptrdiff_t p = 0; p < N; p += 2) {
        double low[G], high[G];
        for (int r = 0; r < G; ++r)
            low[r] = high[r] = 0.0;
        for (std::ptrdiff_t t = 0; t <= last; ++t) {
            const double a = aLow[last - t], b = aHigh[last - t];
            const double* sample = s + (p + t) * G;
            for (int r = 0; r < G; ++r) {
                low[r] = low[r] + a * sample[r];
                high[r] = high[r] + b * sample[r];
            }
        }
        for (int r = 0; r < G; ++r) {
            lo[(p / 2) * G + r] = low[r];
            hi[(p / 2) * G + r] = high[r];
        }
    }
}

// synthesisStep for G rows stored interleaved.
template <int G>
void synthesisRows(double* out, std::ptrdiff_t half, const double* sLow, const double* sHigh, std::ptrdiff_t last,
                   std::ptrdiff_t e, double* lo, double* hi)
{
    for (std::ptrdiff_t i = e - 1; i >= 0; --i)
        for (int r = 0; r < G; ++r) {
            lo[i * G + r] = lo[(half + i) * G + r];
            hi[i * G + r] = hi[(half + i) * G + r];
        }
    for (std::ptrdiff_t u = 0; u < half; ++u) {
        double even[G], odd[G];
        for (int r = 0; r < G; ++r)
            even[r] = odd[r] = 0.0;
        for (std::ptrdiff_t k = 0; k <= e; ++k) {
            const double a0 = sLow[last - 1 - 2 * k], b0 = sHigh[last - 1 - 2 * k];
            const double a1 = sLow[last - 2 * k], b1 = sHigh[last - 2 * k];
            const double* l = lo + (u + k) * G;
            const double* h = hi + (u + k) * G;
            for (int r = 0; r < G; ++r) {
                even[r] = even[r] + (a0 * l[r] + b0 * h[r]);
                odd[r] = odd[r] + (a1 * l[r] + b1 * h[r]);
            }
        }
        for (int r = 0; r < G; ++r) {
            out[(2 * u) * G + r] = even[r];
            out[(2 * u + 1) * G + r] = odd[r];
        }
    }
}

// analysisStep on N contiguous samples at src, writing lo to dstLo and hi to
// dstHi (each N/2 values), in blocks of outputs whose samples are split into
// even and odd runs in `block` (2·(kOutputBlock + last) + 4 doubles): the same
// sums in the same order, without copying the sequence or the halves. src
// may be the memory dstLo starts at (in-place levels): the samples the last
// outputs wrap around to are kept in `head` (last + 2 doubles) before the
// first block is written; dstHi must not overlap src.
void analyzeContiguous(const double* src, std::ptrdiff_t N, const double* aLow, const double* aHigh,
                       std::ptrdiff_t last, double* dstLo, double* dstHi, double* block, double* head)
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
        double* lo = dstLo + first;
        double* hi = dstHi + first;
        std::ptrdiff_t j = 0;
#if defined(__AVX512F__)
        // Eight outputs per vector, their sums kept in registers over all taps.
        for (; j + 8 <= count; j += 8) {
            __m512d low = _mm512_setzero_pd(), high = _mm512_setzero_pd();
            for (std::ptrdiff_t t = 0; t <= last; ++t) {
                const __m512d sample = _mm512_loadu_pd((t % 2 == 0 ? even : odd) + t / 2 + j);
                low = _mm512_add_pd(low, _mm512_mul_pd(_mm512_set1_pd(aLow[last - t]), sample));
                high = _mm512_add_pd(high, _mm512_mul_pd(_mm512_set1_pd(aHigh[last - t]), sample));
            }
            _mm512_storeu_pd(lo + j, low);
            _mm512_storeu_pd(hi + j, high);
        }
#endif
        for (; j < count; ++j) {
            double low = 0.0, high = 0.0;
            for (std::ptrdiff_t t = 0; t <= last; ++t) {
                const double sample = (t % 2 == 0 ? even : odd)[t / 2 + j];
                low = low + aLow[last - t] * sample;
                high = high + aHigh[last - t] * sample;
            }
            lo[j] = low;
            hi[j] = high;
        }
    }
}

// synthesisStep for `half` contiguous low coefficients at lo and high ones at
// hi, writing 2·half samples to out in blocks. With loTail given (the last e
// low coefficients, kept beforehand; half ≥ e), out may be the memory lo
// starts at: the blocks then run from the last to the first, so that each
// one overwrites only coefficients that no block still to come reads.
void synthesizeContiguous(const double* lo, const double* hi, std::ptrdiff_t half, const double* sLow,
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
                std::ptrdiff_t c = first - e + q;
                while (c < 0)
                    c += half;
                lowCopy[q] = loTail && c >= half - e ? loTail[c - (half - e)] : lo[c];
                highCopy[q] = hi[c];
            }
            l = lowCopy;
            h = highCopy;
        }
        double* target = out + 2 * first;
        std::ptrdiff_t u = 0;
#if defined(__AVX512F__)
        // Eight output pairs per vector, their sums kept in registers; the
        // even and odd samples interleaved on the way out.
        const __m512i lowerHalf = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
        const __m512i upperHalf = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
        for (; u + 8 <= count; u += 8) {
            __m512d even = _mm512_setzero_pd(), odd = _mm512_setzero_pd();
            for (std::ptrdiff_t k = 0; k <= e; ++k) {
                const __m512d low = _mm512_loadu_pd(l + u + k), high = _mm512_loadu_pd(h + u + k);
                const __m512d pairEven = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(sLow[last - 1 - 2 * k]), low),
                                                       _mm512_mul_pd(_mm512_set1_pd(sHigh[last - 1 - 2 * k]), high));
                const __m512d pairOdd = _mm512_add_pd(_mm512_mul_pd(_mm512_set1_pd(sLow[last - 2 * k]), low),
                                                      _mm512_mul_pd(_mm512_set1_pd(sHigh[last - 2 * k]), high));
                even = _mm512_add_pd(even, pairEven);
                odd = _mm512_add_pd(odd, pairOdd);
            }
            _mm512_storeu_pd(target + 2 * u, _mm512_permutex2var_pd(even, lowerHalf, odd));
            _mm512_storeu_pd(target + 2 * u + 8, _mm512_permutex2var_pd(even, upperHalf, odd));
        }
#endif
        for (; u < count; ++u) {
            double even = 0.0, odd = 0.0;
            for (std::ptrdiff_t k = 0; k <= e; ++k) {
                even = even + (sLow[last - 1 - 2 * k] * l[u + k] + sHigh[last - 1 - 2 * k] * h[u + k]);
                odd = odd + (sLow[last - 2 * k] * l[u + k] + sHigh[last - 2 * k] * h[u + k]);
            }
            target[2 * u] = even;
            target[2 * u + 1] = odd;
        }
    }
}

// Orientation: a column vector is processed as one row of contiguous samples.
struct Shape {
    std::ptrdiff_t rows, cols;   // m′ and n′; the stride between a row's samples is m′
};

Shape orient(std::ptrdiff_t m, std::ptrdiff_t n) { return n == 1 ? Shape{1, m} : Shape{m, n}; }

} // namespace

int defaultLevels(std::ptrdiff_t m, std::ptrdiff_t n)
{
    if (std::min(m, n) == 1)
        return std::max(halvings(m), halvings(n));
    return std::min(halvings(m), halvings(n));
}

std::size_t forwardWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh) { return workSize(m, n, nh); }
std::size_t inverseWorkSize(std::ptrdiff_t m, std::ptrdiff_t n, std::ptrdiff_t nh) { return workSize(m, n, nh); }

void analysisStep(double* s, std::ptrdiff_t N, const double* aLow, const double* aHigh, std::ptrdiff_t last,
                  double* lo, double* hi, double* split)
{
    for (std::ptrdiff_t i = N; i < N + last; ++i)
        s[i] = s[i - N];
    // The even and the odd samples apart, so that sample 2j + t of every
    // output j is one contiguous run: split[q] = s[2q], split[half + q] = s[2q + 1].
    const std::ptrdiff_t outputs = (N + 1) / 2, pairs = (N + last + 1) / 2;
    double* even = split;
    double* odd = split + pairs;
    for (std::ptrdiff_t q = 0; q < pairs; ++q) {
        even[q] = s[2 * q];
        odd[q] = 2 * q + 1 < N + last ? s[2 * q + 1] : 0.0;
    }
    // Tap by tap over a block of outputs: every output still takes its terms
    // in ascending t, the loop over outputs runs in vectors, and the block's
    // sums stay in the first-level cache.
    for (std::ptrdiff_t first = 0; first < outputs; first += kOutputBlock) {
        const std::ptrdiff_t end = std::min(outputs, first + kOutputBlock);
        for (std::ptrdiff_t j = first; j < end; ++j)
            lo[j] = hi[j] = 0.0;
        for (std::ptrdiff_t t = 0; t <= last; ++t) {
            const double a = aLow[last - t], b = aHigh[last - t];
            const double* sample = (t % 2 == 0 ? even : odd) + t / 2;
            for (std::ptrdiff_t j = first; j < end; ++j) {
                lo[j] = lo[j] + a * sample[j];
                hi[j] = hi[j] + b * sample[j];
            }
        }
    }
}

void synthesisStep(double* out, std::ptrdiff_t half, const double* sLow, const double* sHigh, std::ptrdiff_t last,
                   std::ptrdiff_t e, double* lo, double* hi, double* split)
{
    for (std::ptrdiff_t i = e - 1; i >= 0; --i) {
        lo[i] = lo[half + i];
        hi[i] = hi[half + i];
    }
    // The even and the odd outputs summed apart, each in its own contiguous run.
    double* even = split;
    double* odd = split + half;
    for (std::ptrdiff_t first = 0; first < half; first += kOutputBlock) {
        const std::ptrdiff_t end = std::min(half, first + kOutputBlock);
        for (std::ptrdiff_t u = first; u < end; ++u)
            even[u] = odd[u] = 0.0;
        for (std::ptrdiff_t k = 0; k <= e; ++k) {
            const double a0 = sLow[last - 1 - 2 * k], b0 = sHigh[last - 1 - 2 * k];
            const double a1 = sLow[last - 2 * k], b1 = sHigh[last - 2 * k];
            const double* l = lo + k;
            const double* h = hi + k;
            for (std::ptrdiff_t u = first; u < end; ++u) {
                even[u] = even[u] + (a0 * l[u] + b0 * h[u]);
                odd[u] = odd[u] + (a1 * l[u] + b1 * h[u]);
            }
        }
    }
    for (std::ptrdiff_t u = 0; u < half; ++u) {
        out[2 * u] = even[u];
        out[2 * u + 1] = odd[u];
    }
}

void forwardWavelet(const double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    double* y, double* work)
{
    if (m == 0 || n == 0)
        return;
    if (L == 0 || m * n == 1) {
        std::memcpy(y, x, static_cast<size_t>(m * n) * sizeof(double));
        return;
    }
    const Shape shape = orient(m, n);
    const std::ptrdiff_t stride = shape.rows, last = nh - 1;
    Work w = carve(work, m, n, nh);
    for (std::ptrdiff_t i = 0; i < nh; ++i) {
        w.lowFilter[i] = h[nh - 1 - i];
        w.highFilter[i] = h[i];
    }
    for (std::ptrdiff_t i = 0; i < nh; i += 2)
        w.highFilter[i] = -w.highFilter[i];

    std::ptrdiff_t R = shape.rows, W = shape.cols;
    for (int k = 1; k <= L; ++k) {
        if (k > 1) {
            W /= 2;
            R = shape.rows == 1 ? 1 : R / 2;
        }
        const double* src = k == 1 ? x : y;
        // Row pass: groups of rows side by side, then the rows left over.
        std::ptrdiff_t i = 0;
        if (shape.rows > 1)
            for (; i + kRowGroup <= R; i += kRowGroup) {
                for (std::ptrdiff_t j = 0; j < W; ++j)
                    std::memcpy(w.rows + j * kRowGroup, src + i + j * stride, kRowGroup * sizeof(double));
                analysisRows<kRowGroup>(w.rows, W, w.lowFilter, w.highFilter, last, w.rowsLo, w.rowsHi);
                for (std::ptrdiff_t j = 0; j < W / 2; ++j) {
                    std::memcpy(y + i + j * stride, w.rowsLo + j * kRowGroup, kRowGroup * sizeof(double));
                    std::memcpy(y + i + (W / 2 + j) * stride, w.rowsHi + j * kRowGroup, kRowGroup * sizeof(double));
                }
            }
        if (stride == 1 && R == 1) {
            // A signal: its samples are contiguous.
            if (k == 1) {
                analyzeContiguous(x, W, w.lowFilter, w.highFilter, last, y, y + W / 2, w.split, w.sequence);
            } else {
                analyzeContiguous(y, W, w.lowFilter, w.highFilter, last, y, w.hi, w.split, w.sequence);
                std::memcpy(y + W / 2, w.hi, static_cast<size_t>(W / 2) * sizeof(double));
            }
            i = R;
        }
        for (; i < R; ++i) {
            for (std::ptrdiff_t j = 0; j < W; ++j)
                w.sequence[j] = src[i + j * stride];
            analysisStep(w.sequence, W, w.lowFilter, w.highFilter, last, w.lo, w.hi, w.split);
            for (std::ptrdiff_t j = 0; j < W / 2; ++j) {
                y[i + j * stride] = w.lo[j];
                y[i + (W / 2 + j) * stride] = w.hi[j];
            }
        }
        // Column pass on what the row pass stored.
        if (shape.rows > 1 && W > 0)
            for (std::ptrdiff_t j = 0; j < W; ++j) {
                double* column = y + j * stride;
                analyzeContiguous(column, R, w.lowFilter, w.highFilter, last, column, w.hi, w.split, w.sequence);
                std::memcpy(column + R / 2, w.hi, static_cast<size_t>(R / 2) * sizeof(double));
            }
    }
}

void inverseWavelet(double* x, std::ptrdiff_t m, std::ptrdiff_t n, const double* h, std::ptrdiff_t nh, int L,
                    const double* y, double* work)
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
    Work w = carve(work, m, n, nh);
    for (std::ptrdiff_t i = 0; i < nh; ++i) {
        w.lowFilter[i] = h[i];
        w.highFilter[i] = h[nh - 1 - i];
    }
    for (std::ptrdiff_t i = 1; i < nh; i += 2)
        w.highFilter[i] = -w.highFilter[i];

    std::ptrdiff_t scale = 1;
    for (int k = 1; k < L; ++k)
        scale *= 2;
    std::ptrdiff_t R = shape.rows == 1 ? 1 : shape.rows / scale, W = shape.cols / scale;
    for (int level = 0; level < L; ++level) {
        const std::ptrdiff_t halfR = R / 2, halfW = W / 2;
        if (shape.rows > 1 && W > 0)
            for (std::ptrdiff_t j = 0; j < W; ++j) {
                double* column = x + j * stride;
                std::memcpy(w.lo, column, static_cast<size_t>(R) * sizeof(double));   // both halves
                synthesizeContiguous(w.lo, w.lo + halfR, halfR, w.lowFilter, w.highFilter, last, e, column, w.split);
            }
        std::ptrdiff_t i = 0;
        if (shape.rows > 1)
            for (; i + kRowGroup <= R; i += kRowGroup) {
                for (std::ptrdiff_t j = 0; j < halfW; ++j) {
                    std::memcpy(w.rowsLo + (e + j) * kRowGroup, x + i + j * stride, kRowGroup * sizeof(double));
                    std::memcpy(w.rowsHi + (e + j) * kRowGroup, x + i + (halfW + j) * stride,
                                kRowGroup * sizeof(double));
                }
                synthesisRows<kRowGroup>(w.rows, halfW, w.lowFilter, w.highFilter, last, e, w.rowsLo, w.rowsHi);
                for (std::ptrdiff_t j = 0; j < W; ++j)
                    std::memcpy(x + i + j * stride, w.rows + j * kRowGroup, kRowGroup * sizeof(double));
            }
        if (signal) {
            // The approximation from the coarser levels (from y at the
            // coarsest), the details from y, the samples into x.
            if (level > 0 && halfW >= e) {
                std::memcpy(w.lo, x + halfW - e, static_cast<size_t>(e) * sizeof(double));
                synthesizeContiguous(x, y + halfW, halfW, w.lowFilter, w.highFilter, last, e, x, w.split, w.lo);
            } else {
                std::memcpy(w.lo, level == 0 ? y : x, static_cast<size_t>(halfW) * sizeof(double));
                synthesizeContiguous(w.lo, y + halfW, halfW, w.lowFilter, w.highFilter, last, e, x, w.split);
            }
            i = R;
        }
        for (; i < R; ++i) {
            for (std::ptrdiff_t j = 0; j < halfW; ++j) {
                w.lo[e + j] = x[i + j * stride];
                w.hi[e + j] = x[i + (halfW + j) * stride];
            }
            synthesisStep(w.sequence, halfW, w.lowFilter, w.highFilter, last, e, w.lo, w.hi, w.split);
            for (std::ptrdiff_t j = 0; j < W; ++j)
                x[i + j * stride] = w.sequence[j];
        }
        R = shape.rows == 1 ? 1 : 2 * R;
        W = 2 * W;
    }
}
