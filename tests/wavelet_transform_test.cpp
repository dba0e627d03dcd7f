// The wavelet transforms: worked examples, wrap-around, reconstruction, and
// the fast passes against a literal transcription.
#include "wavelet/wavelet_transform.h"
#include "simd_paths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace imrestore;

namespace {

const double kRoot2 = std::sqrt(2.0);
const std::vector<double> kHaar = {1 / kRoot2, 1 / kRoot2};
// Daubechies' orthonormal filters: length 4 from its closed form, length 8
// from the published values (Daubechies, Ten Lectures on Wavelets, table 6.1).
const std::vector<double> kD4 = {(1 + std::sqrt(3.0)) / (4 * kRoot2), (3 + std::sqrt(3.0)) / (4 * kRoot2),
                                 (3 - std::sqrt(3.0)) / (4 * kRoot2), (1 - std::sqrt(3.0)) / (4 * kRoot2)};
const std::vector<double> kD8 = {0.2303778133088964, 0.7148465705529154, 0.6308807679298587, -0.0279837694168599,
                                 -0.1870348117190931, 0.0308413818355607, 0.0328830116668852, -0.0105974017850690};

std::vector<double> forward(const std::vector<double>& x, int m, int n, const std::vector<double>& h, int L,
                            int threads = 1)
{
    std::vector<double> y(x.size()), work(forwardWorkSize(m, n, h.size(), threads));
    forwardWavelet(x.data(), m, n, h.data(), h.size(), L, y.data(), work.data(), threads);
    return y;
}

std::vector<double> inverse(const std::vector<double>& y, int m, int n, const std::vector<double>& h, int L,
                            int threads = 1)
{
    std::vector<double> x(y.size()), work(inverseWorkSize(m, n, h.size(), threads));
    inverseWavelet(x.data(), m, n, h.data(), h.size(), L, y.data(), work.data(), threads);
    return x;
}

std::vector<double> randomValues(size_t count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> v(count);
    for (double& e : v)
        e = value(random);
    return v;
}

// One sequence, one level, as written: periodic index, ascending taps.
void literalAnalysis(const std::vector<double>& s, const std::vector<double>& h, std::vector<double>& lo,
                     std::vector<double>& hi)
{
    const size_t N = s.size(), nh = h.size(), last = nh - 1;
    lo.assign(N / 2, 0.0);
    hi.assign(N / 2, 0.0);
    for (size_t j = 0; j < N / 2; ++j)
        for (size_t t = 0; t <= last; ++t) {
            const double aLow = h[t];                                             // aLow[last − t]
            const double aHigh = (last - t) % 2 == 0 ? -h[last - t] : h[last - t];   // aHigh[last − t]
            lo[j] = lo[j] + aLow * s[(2 * j + t) % N];
            hi[j] = hi[j] + aHigh * s[(2 * j + t) % N];
        }
}

// The forward transform level by level, rows then columns, one sequence at a time.
std::vector<double> literalForward(const std::vector<double>& x, int m, int n, const std::vector<double>& h, int L)
{
    const int rows = n == 1 ? 1 : m, cols = n == 1 ? m : n;
    std::vector<double> y = x, s, lo, hi;
    int R = rows, W = cols;
    for (int k = 1; k <= L; ++k, W /= 2, R = rows == 1 ? 1 : R / 2) {
        for (int i = 0; i < R; ++i) {
            s.assign(W, 0.0);
            for (int j = 0; j < W; ++j)
                s[j] = y[i + j * rows];
            literalAnalysis(s, h, lo, hi);
            for (int j = 0; j < W / 2; ++j) {
                y[i + j * rows] = lo[j];
                y[i + (W / 2 + j) * rows] = hi[j];
            }
        }
        if (rows > 1)
            for (int j = 0; j < W; ++j) {
                s.assign(y.begin() + j * rows, y.begin() + j * rows + R);
                literalAnalysis(s, h, lo, hi);
                for (int i = 0; i < R / 2; ++i) {
                    y[i + j * rows] = lo[i];
                    y[R / 2 + i + j * rows] = hi[i];
                }
            }
    }
    return y;
}

// The inverse as written: copy, then per level from the coarsest the columns
// and then the rows, each output a sum over k of (low + high) products.
std::vector<double> literalInverse(const std::vector<double>& y, int m, int n, const std::vector<double>& h, int L)
{
    const int rows = n == 1 ? 1 : m, cols = n == 1 ? m : n, nh = static_cast<int>(h.size());
    const int last = nh - 1, e = nh / 2 - 1;
    std::vector<double> sLow(h), sHigh(nh), x = y;
    for (int i = 0; i < nh; ++i)
        sHigh[i] = i % 2 ? -h[nh - 1 - i] : h[nh - 1 - i];
    auto synthesize = [&](std::vector<double> a, std::vector<double> d) {
        const int half = static_cast<int>(a.size());
        std::vector<double> out(2 * half, 0.0);
        for (int u = 0; u < half; ++u)
            for (int k = 0; k <= e; ++k) {
                const int c = ((u + k - e) % half + half) % half;
                out[2 * u] = out[2 * u] + (sLow[last - 1 - 2 * k] * a[c] + sHigh[last - 1 - 2 * k] * d[c]);
                out[2 * u + 1] = out[2 * u + 1] + (sLow[last - 2 * k] * a[c] + sHigh[last - 2 * k] * d[c]);
            }
        return out;
    };
    int R = rows == 1 ? 1 : rows >> (L - 1), W = cols >> (L - 1);
    for (int level = 0; level < L; ++level, R = rows == 1 ? 1 : 2 * R, W *= 2) {
        if (rows > 1)
            for (int j = 0; j < W; ++j) {
                std::vector<double> a(R / 2), d(R / 2);
                for (int i = 0; i < R / 2; ++i) {
                    a[i] = x[i + j * rows];
                    d[i] = x[R / 2 + i + j * rows];
                }
                const std::vector<double> out = synthesize(a, d);
                for (int i = 0; i < R; ++i)
                    x[i + j * rows] = out[i];
            }
        for (int i = 0; i < R; ++i) {
            std::vector<double> a(W / 2), d(W / 2);
            for (int j = 0; j < W / 2; ++j) {
                a[j] = x[i + j * rows];
                d[j] = x[i + (W / 2 + j) * rows];
            }
            const std::vector<double> out = synthesize(a, d);
            for (int j = 0; j < W; ++j)
                x[i + j * rows] = out[j];
        }
    }
    return x;
}

} // namespace

TEST(Wavelet, DefaultLevels)
{
    EXPECT_EQ(defaultLevels(1, 48), 4);
    EXPECT_EQ(defaultLevels(48, 1), 4);
    EXPECT_EQ(defaultLevels(64, 48), 4);
    EXPECT_EQ(defaultLevels(64, 96), 5);
    EXPECT_EQ(defaultLevels(6, 8), 1);
    EXPECT_EQ(defaultLevels(3, 8), 0);
    EXPECT_EQ(defaultLevels(1, 1), 0);
    EXPECT_EQ(defaultLevels(1, 20), 2);
    EXPECT_EQ(defaultLevels(20, 1), 2);
}

TEST(Wavelet, HaarExamples)
{
    const std::vector<double> one = forward({1, 2, 3, 4}, 1, 4, kHaar, 1);
    EXPECT_NEAR(one[0], 3 / kRoot2, 1e-15);
    EXPECT_NEAR(one[1], 7 / kRoot2, 1e-15);
    EXPECT_NEAR(one[2], -1 / kRoot2, 1e-15);
    EXPECT_NEAR(one[3], -1 / kRoot2, 1e-15);
    const std::vector<double> two = forward({1, 2, 3, 4}, 1, 4, kHaar, 2);
    EXPECT_NEAR(two[0], 5, 1e-14);
    EXPECT_NEAR(two[1], -2, 1e-14);
    // The 2×2 image with rows [1 2] and [3 4], column-major.
    const std::vector<double> image = forward({1, 3, 2, 4}, 2, 2, kHaar, 1);
    EXPECT_NEAR(image[0], 5, 1e-14);
    EXPECT_NEAR(image[2], -1, 1e-14);
    EXPECT_NEAR(image[1], -2, 1e-14);
    EXPECT_NEAR(image[3], 0, 1e-14);
    const std::vector<double> back = inverse({5, -2, -1 / kRoot2, -1 / kRoot2}, 1, 4, kHaar, 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(back[i], i + 1, 1e-14);
    const std::vector<double> backImage = inverse({5, -2, -1, 0}, 2, 2, kHaar, 1);
    EXPECT_NEAR(backImage[0], 1, 1e-14);
    EXPECT_NEAR(backImage[1], 3, 1e-14);
    EXPECT_NEAR(backImage[2], 2, 1e-14);
    EXPECT_NEAR(backImage[3], 4, 1e-14);
}

TEST(Wavelet, AnalysisWrapsAround)
{
    const std::vector<double> h = {0.5, -0.25, 2.0, 0.125}, s0 = {1, 2, 4, 8};
    EXPECT_EQ(forward(s0, 1, 4, h, 1)[1], ((h[0] * 4 + h[1] * 8) + h[2] * 1) + h[3] * 2);
    // A filter of 8 on 4 samples: every sample enters twice.
    const std::vector<double> h8 = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<double> low, high;
    literalAnalysis(s0, h8, low, high);
    EXPECT_EQ(forward(s0, 1, 4, h8, 1), (std::vector<double>{low[0], low[1], high[0], high[1]}));
    EXPECT_EQ(low[0], 1 * 1 + 2 * 2 + 3 * 4 + 4 * 8 + 5 * 1 + 6 * 2 + 7 * 4 + 8 * 8);
}

TEST(Wavelet, FastPassesMatchTheLiteralTransform)
{
    forEachSimdPath([&] {
        // Odd and even filters, images whose row counts leave partial row groups,
        // vectors in both orientations, L = 0 (a copy).
        struct Case {
            int m, n, L;
            std::vector<double> h;
        };
        const std::vector<Case> cases = {{8, 16, 3, kD8},  {24, 40, 3, kD4},  {12, 8, 2, {0.3, -0.7, 0.2}},
                                         {1, 64, 5, kD8},  {64, 1, 4, kHaar}, {40, 24, 1, {1, 2, 3, 4, 5}},
                                         {16, 16, 4, kD8}, {6, 10, 1, kD4},   {10, 6, 0, kD4}};
        std::uint32_t seed = 1;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << " L " << c.L << " nh " << c.h.size());
            const std::vector<double> x = randomValues(size_t(c.m) * c.n, seed++);
            const std::vector<double> analysed = c.L == 0 ? x : literalForward(x, c.m, c.n, c.h, c.L);
            // Rows and columns shared between threads change no bit.
            for (int threads : {1, 3}) {
                EXPECT_EQ(forward(x, c.m, c.n, c.h, c.L, threads), analysed) << threads << " threads";
                if (c.h.size() % 2 == 0) {
                    EXPECT_EQ(inverse(x, c.m, c.n, c.h, c.L, threads),
                              c.L == 0 ? x : literalInverse(x, c.m, c.n, c.h, c.L))
                        << threads << " threads";
                }
            }
        }
        // Long signals: the blocks of a level and the in-place levels.
        const std::vector<double> longSignal = randomValues(4096, 77);
        EXPECT_EQ(forward(longSignal, 1, 4096, kD8, 6), literalForward(longSignal, 1, 4096, kD8, 6));
        EXPECT_EQ(inverse(longSignal, 4096, 1, kD8, 6), literalInverse(longSignal, 4096, 1, kD8, 6));
        // A row and a column vector give the same numbers.
        const std::vector<double> x = randomValues(32, 9);
        EXPECT_EQ(forward(x, 1, 32, kD4, 3), forward(x, 32, 1, kD4, 3));
        EXPECT_EQ(inverse(x, 1, 32, kD4, 3), inverse(x, 32, 1, kD4, 3));
    });
}

TEST(Wavelet, PerfectReconstruction)
{
    struct Case {
        int m, n, L;
    };
    // Default and smaller depths; D8 against 2×2 and 2-sample coarsest blocks.
    const Case cases[] = {{1, 96, 5}, {96, 1, 2}, {64, 48, 4}, {64, 48, 1}, {16, 16, 3}, {1, 16, 3}, {32, 64, 5}};
    std::uint32_t seed = 20;
    for (const std::vector<double>& h : {kHaar, kD4, kD8})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << " L " << c.L << " nh " << h.size());
            const std::vector<double> x = randomValues(size_t(c.m) * c.n, seed++);
            const std::vector<double> back = inverse(forward(x, c.m, c.n, h, c.L), c.m, c.n, h, c.L);
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_NEAR(back[i], x[i], 1e-12);
        }
    // One sample, or no level: copies.
    EXPECT_EQ(forward({0.7}, 1, 1, kD4, 5), (std::vector<double>{0.7}));
    EXPECT_EQ(inverse({0.7}, 1, 1, kD4, 40), (std::vector<double>{0.7}));
    EXPECT_EQ(inverse({1, 2, 3, 4}, 2, 2, kD4, 0), (std::vector<double>{1, 2, 3, 4}));
}
