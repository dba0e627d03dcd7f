#include "tv/rof_denoise.h"

#include "common/parallel_ranges.h"

#include <algorithm>
#include <cmath>

namespace imrestore {

namespace {

// Columns from which a second thread pays off in a per-pixel pass.
const std::ptrdiff_t kColumnsPerThread = 32;

// Calls pass(first, last) for ranges of [0, columns) on the fields' threads.
template <class Pass>
void forEachColumn(const RofFields& s, std::ptrdiff_t columns, Pass pass)
{
    forEachRange(columns, s.threads, 1, kColumnsPerThread,
                 [&](std::ptrdiff_t first, std::ptrdiff_t last, int) { pass(first, last); });
}

// The split and Bregman terms B of pixel (x, y) in their order, the terms
// that reach outside the grid left out; the first present term starts the sum.
double divergenceAt(const RofFields& s, std::ptrdiff_t x, std::ptrdiff_t y)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    const bool left = x > 0, right = x < N - 1, up = y > 0, down = y < M - 1;
    const double terms[8] = {left ? s.dx.column[x - 1][y] : 0.0, right ? s.dx.column[x][y] : 0.0,
                             up ? s.dy.column[x][y - 1] : 0.0,   down ? s.dy.column[x][y] : 0.0,
                             left ? s.bx.column[x - 1][y] : 0.0, right ? s.bx.column[x][y] : 0.0,
                             up ? s.by.column[x][y - 1] : 0.0,   down ? s.by.column[x][y] : 0.0};
    const bool present[8] = {left, right, up, down, left, right, up, down};
    const bool plus[8] = {true, false, true, false, false, true, false, true};
    bool started = false;
    double sum = 0.0;
    for (int t = 0; t < 8; ++t) {
        if (!present[t])
            continue;
        if (!started)
            sum = plus[t] ? terms[t] : -terms[t];
        else
            sum = plus[t] ? sum + terms[t] : sum - terms[t];
        started = true;
    }
    return sum;
}

// The update of a border or corner pixel: k present neighbours, divided by μ + k·λ.
void updateBorderPixel(RofFields& s, std::ptrdiff_t x, std::ptrdiff_t y, double mu, double lambda)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    double* const* u = s.u.column;
    const bool present[4] = {x < N - 1, x > 0, y < M - 1, y > 0};
    const double neighbour[4] = {present[0] ? u[x + 1][y] : 0.0, present[1] ? u[x - 1][y] : 0.0,
                                 present[2] ? u[x][y + 1] : 0.0, present[3] ? u[x][y - 1] : 0.0};
    int k = 0;
    double sum = 0.0;
    for (int n = 0; n < 4; ++n) {
        if (!present[n])
            continue;
        sum = k == 0 ? neighbour[n] : sum + neighbour[n];
        ++k;
    }
    double value = divergenceAt(s, x, y) + sum;
    value = value * lambda;
    value = value + s.scaledData.column[x][y];
    u[x][y] = value / (mu + k * lambda);
}

// B of the inner pixels, column by column; the terms of each pixel in order.
void innerDivergence(RofFields& s)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    forEachColumn(s, N - 2, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
        for (std::ptrdiff_t x = 1 + first; x < 1 + last; ++x) {
            const double* __restrict dxLeft = s.dx.column[x - 1];
            const double* __restrict dxHere = s.dx.column[x];
            const double* __restrict dy = s.dy.column[x];
            const double* __restrict bxLeft = s.bx.column[x - 1];
            const double* __restrict bxHere = s.bx.column[x];
            const double* __restrict by = s.by.column[x];
            double* __restrict out = s.divergence.column[x];
            for (std::ptrdiff_t y = 1; y < M - 1; ++y) {
                double b = dxLeft[y] - dxHere[y];
                b = b + dy[y - 1];
                b = b - dy[y];
                b = b - bxLeft[y];
                b = b + bxHere[y];
                b = b - by[y - 1];
                b = b + by[y];
                out[y] = b;
            }
        }
    });
}

// The inner pixels of columns [x0, x0 + L) in column-by-column order, run as
// a wavefront: lane r takes column x0 + r, one row behind lane r − 1, so at
// each step every lane finds its left and upper neighbours already updated
// and its right and lower ones not yet, as in the column-by-column order.
// last[r] is the value lane r wrote last (its upper neighbour next).
// Lane r runs kSkew rows behind lane r − 1, so that the left neighbour a lane
// needs was computed kSkew steps earlier and the lanes' dependence chains overlap.
const int kSkew = 2;

template <int L>
void sweepInnerBand(RofFields& s, std::ptrdiff_t x0, double lambda, double reciprocal)
{
    const std::ptrdiff_t M = s.u.rows;
    // newColumnMatrix lays the columns out one after another, so lane r's
    // pixel at step t, (x0 + r, 1 + t − kSkew·r), lies r·(M − kSkew) elements
    // after lane 0's: one moving pointer per array serves every lane.
    const std::ptrdiff_t stride = M - kSkew;
    double* u = s.u.column[x0] + 1;
    const double* divergence = s.divergence.column[x0] + 1;
    const double* data = s.scaledData.column[x0] + 1;
    // below[r]: the value lane r wrote last (its upper neighbour next);
    // recent[r][0] and recent[r][1]: lane r's values of the last two steps
    // (anything where it was idle), of which lane r + 1 takes the older as its
    // left neighbour.
    double below[L], recent[L][2] = {};
    for (int r = 0; r < L; ++r)
        below[r] = s.u.column[x0 + r][0];
    auto update = [&](int r, std::ptrdiff_t t, const double* up, const double (*lanes)[2]) {
        double* here = u + t + r * stride;
        const double left = r == 0 ? here[-M] : lanes[r - 1][1];
        double sum = here[M] + left;
        sum = sum + here[1];
        sum = sum + up[r];
        double next = divergence[t + r * stride] + sum;
        next = next * lambda;
        next = next + data[t + r * stride];
        next = next * reciprocal;
        *here = next;
        return next;
    };
    // Lane r starts kSkew·r steps after lane 0: the lanes enter during the
    // first `fill` steps and leave during the last.
    const std::ptrdiff_t rows = M - 2, fill = kSkew * (L - 1), steps = rows + fill;
    // A step at which some lanes are above or below the inner rows.
    auto partialStep = [&](std::ptrdiff_t t) {
        double next[L] = {};
        for (int r = 0; r < L; ++r)
            if (t - kSkew * r >= 0 && t - kSkew * r < rows)
                below[r] = next[r] = update(r, t, below, recent);
        for (int r = 0; r < L; ++r) {
            recent[r][1] = recent[r][0];
            recent[r][0] = next[r];
        }
    };
    // Steps [first, last), at which every lane is inside the inner rows: the
    // lanes' values in locals that stay in registers.
    auto steadySteps = [&](std::ptrdiff_t first, std::ptrdiff_t last) {
        double up[L], lanes[L][2];
        for (int r = 0; r < L; ++r) {
            up[r] = below[r];
            lanes[r][0] = recent[r][0];
            lanes[r][1] = recent[r][1];
        }
        for (std::ptrdiff_t t = first; t < last; ++t) {
#pragma GCC unroll 8
            for (int r = 0; r < L; ++r)
                up[r] = update(r, t, up, lanes);
#pragma GCC unroll 8
            for (int r = 0; r < L; ++r) {
                lanes[r][1] = lanes[r][0];
                lanes[r][0] = up[r];
            }
        }
        for (int r = 0; r < L; ++r) {
            below[r] = up[r];
            recent[r][0] = lanes[r][0];
            recent[r][1] = lanes[r][1];
        }
    };
    for (std::ptrdiff_t t = 0; t < fill; ++t)
        partialStep(t);
    if (rows > fill)
        steadySteps(fill, rows);
    for (std::ptrdiff_t t = std::max(fill, rows); t < steps; ++t)
        partialStep(t);
}

const int kSweepLanes = 8;

// The inner pixels, bands of L columns from left to right (the last band
// may be narrower).
template <int L>
void sweepInnerBands(RofFields& s, double lambda, double reciprocal)
{
    static_assert(L == 8, "the switch below covers bands of up to 8 columns");
    const std::ptrdiff_t N = s.u.columns;
    for (std::ptrdiff_t x0 = 1; x0 < N - 1; x0 += L) {
        switch (std::min<std::ptrdiff_t>(L, N - 1 - x0)) {
        case 8: sweepInnerBand<8>(s, x0, lambda, reciprocal); break;
        case 7: sweepInnerBand<7>(s, x0, lambda, reciprocal); break;
        case 6: sweepInnerBand<6>(s, x0, lambda, reciprocal); break;
        case 5: sweepInnerBand<5>(s, x0, lambda, reciprocal); break;
        case 4: sweepInnerBand<4>(s, x0, lambda, reciprocal); break;
        case 3: sweepInnerBand<3>(s, x0, lambda, reciprocal); break;
        case 2: sweepInnerBand<2>(s, x0, lambda, reciprocal); break;
        default: sweepInnerBand<1>(s, x0, lambda, reciprocal); break;
        }
    }
}

double softThreshold(double e, double tau, double negativeTau)
{
    if (tau < e)
        return e - tau;
    if (e < negativeTau)
        return e + tau;
    return 0.0;
}

} // namespace

void gaussSeidelSweep(RofFields& s, double mu, double lambda)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    const double reciprocal = 1.0 / (mu + 4.0 * lambda);
    innerDivergence(s);
    sweepInnerBands<kSweepLanes>(s, lambda, reciprocal);
    for (std::ptrdiff_t y = 1; y < M - 1; ++y)
        updateBorderPixel(s, 0, y, mu, lambda);
    for (std::ptrdiff_t y = 1; y < M - 1; ++y)
        updateBorderPixel(s, N - 1, y, mu, lambda);
    for (std::ptrdiff_t x = 1; x < N - 1; ++x)
        updateBorderPixel(s, x, 0, mu, lambda);
    for (std::ptrdiff_t x = 1; x < N - 1; ++x)
        updateBorderPixel(s, x, M - 1, mu, lambda);
    updateBorderPixel(s, 0, 0, mu, lambda);
    updateBorderPixel(s, N - 1, 0, mu, lambda);
    updateBorderPixel(s, 0, M - 1, mu, lambda);
    updateBorderPixel(s, N - 1, M - 1, mu, lambda);
}

void simd::rofShrinkScalar(const RofShrink& a, Range first, Range last)
{
    for (Range y = first; y < last; ++y) {
        const double sx = (a.right[y] - a.here[y]) + a.bx[y];
        const double sy = (a.here[y + 1] - a.here[y]) + a.by[y];
        const double s2 = sx * sx + sy * sy;
        if (a.tauSquared > s2) {
            a.dx[y] = 0.0;
            a.dy[y] = 0.0;
        } else {
            const double norm = std::sqrt(s2);
            const double q = (norm - a.tau) / norm;
            a.dx[y] = q * sx;
            a.dy[y] = q * sy;
        }
    }
}

void shrinkGradient(RofFields& s, double lambda)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    const double tau = 1.0 / lambda, tauSquared = tau * tau, negativeTau = -1.0 / lambda;
    double* const* u = s.u.column;
    forEachColumn(s, N - 1, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
        for (std::ptrdiff_t x = first; x < last; ++x) {
            const simd::RofShrink column{u[x],           u[x + 1],       s.bx.column[x], s.by.column[x],
                                         s.dx.column[x], s.dy.column[x], tau,            tauSquared};
            s.kernels->rofShrink(column, 0, M - 1);
        }
    });
    for (std::ptrdiff_t x = 0; x < N - 1; ++x)
        s.dx.column[x][M - 1] = softThreshold((u[x + 1][M - 1] - u[x][M - 1]) + s.bx.column[x][M - 1], tau, negativeTau);
    for (std::ptrdiff_t y = 0; y < M - 1; ++y)
        s.dy.column[N - 1][y] = softThreshold((u[N - 1][y + 1] - u[N - 1][y]) + s.by.column[N - 1][y], tau, negativeTau);
}

void updateBregmanX(RofFields& s)
{
    forEachColumn(s, s.bx.columns, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
        for (std::ptrdiff_t x = first; x < last; ++x) {
            const double* __restrict here = s.u.column[x];
            const double* __restrict right = s.u.column[x + 1];
            const double* __restrict dx = s.dx.column[x];
            double* __restrict bx = s.bx.column[x];
            for (std::ptrdiff_t y = 0; y < s.bx.rows; ++y)
                bx[y] = bx[y] + ((right[y] - here[y]) - dx[y]);
        }
    });
}

void updateBregmanY(RofFields& s)
{
    forEachColumn(s, s.by.columns, [&](std::ptrdiff_t first, std::ptrdiff_t last) {
        for (std::ptrdiff_t x = first; x < last; ++x) {
            const double* __restrict here = s.u.column[x];
            const double* __restrict dy = s.dy.column[x];
            double* __restrict by = s.by.column[x];
            for (std::ptrdiff_t y = 0; y < s.by.rows; ++y)
                by[y] = by[y] + ((here[y + 1] - here[y]) - dy[y]);
        }
    });
}

void bregmanBlock(RofFields& s, double mu, double lambda, int innerSweeps, int blockLength)
{
    for (int iteration = 0; iteration < blockLength; ++iteration) {
        for (int sweep = 0; sweep < innerSweeps; ++sweep) {
            gaussSeidelSweep(s, mu, lambda);
            shrinkGradient(s, lambda);
        }
        updateBregmanX(s);
        updateBregmanY(s);
    }
}

double relativeChange(const ColumnMatrix& u, ColumnMatrix& uPrev)
{
    double previous = 0.0, change = 0.0;
    for (std::ptrdiff_t x = 0; x < u.columns; ++x)
        for (std::ptrdiff_t y = 0; y < u.rows; ++y) {
            const double p = uPrev.column[x][y];
            previous = previous + p * p;
            const double e = p - u.column[x][y];
            change = change + e * e;
            uPrev.column[x][y] = u.column[x][y];
        }
    return std::sqrt(change / previous);
}

bool denoiseRof(const double* image, std::ptrdiff_t M, std::ptrdiff_t N, double mu, double tolerance,
                double* result, StopCheck* stop, int threads)
{
    const double lambda = 2.0 * mu;
    RofFields s{};
    s.threads = threads;
    ColumnMatrix f{}, uPrev{};
    // f is only read; the table type is shared with the work arrays.
    bool ok = wrapHostColumns(const_cast<double*>(image), N, M, &f);
    ok = ok && newColumnMatrix(N, M, &s.u) && newColumnMatrix(N - 1, M, &s.dx) && newColumnMatrix(N, M - 1, &s.dy) &&
         newColumnMatrix(N - 1, M, &s.bx) && newColumnMatrix(N, M - 1, &s.by) && newColumnMatrix(N, M, &uPrev) &&
         newColumnMatrix(N, M, &s.scaledData) && newColumnMatrix(N, M, &s.divergence);
    if (ok) {
        for (std::ptrdiff_t x = 0; x < N; ++x)
            for (std::ptrdiff_t y = 0; y < M; ++y) {
                s.u.column[x][y] = f.column[x][y];
                s.scaledData.column[x][y] = mu * f.column[x][y];
            }
        // Blocks of five iterations, each iteration polled: one block is
        // five blocks of one.
        bool stopped = false;
        while (!stopped) {
            for (int iteration = 0; iteration < 5 && !stopped; ++iteration) {
                stopped = pollStop(stop);
                if (!stopped)
                    bregmanBlock(s, mu, lambda, 1, 1);
            }
            if (stopped || !(relativeChange(s.u, uPrev) > tolerance))
                break;
        }
        ok = !stopped;
        if (ok)
            for (std::ptrdiff_t x = 0; x < N; ++x)
                std::copy(s.u.column[x], s.u.column[x] + M, result + M * x);
    }
    return ok;
}

} // namespace imrestore
