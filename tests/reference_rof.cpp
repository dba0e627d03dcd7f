#include "reference_rof.h"

namespace imrestore {

namespace {

void updatePixel(RofFields& s, std::ptrdiff_t x, std::ptrdiff_t y, double mu, double lambda, bool inner)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    double** u = s.u.column;
    const bool l = x > 0, r = x < N - 1, up = y > 0, dn = y < M - 1;
    // B: the present terms in order, the first one starting the sum.
    const double terms[8] = {l ? s.dx.column[x - 1][y] : 0, r ? s.dx.column[x][y] : 0,
                             up ? s.dy.column[x][y - 1] : 0, dn ? s.dy.column[x][y] : 0,
                             l ? s.bx.column[x - 1][y] : 0, r ? s.bx.column[x][y] : 0,
                             up ? s.by.column[x][y - 1] : 0, dn ? s.by.column[x][y] : 0};
    const bool present[8] = {l, r, up, dn, l, r, up, dn};
    const bool plus[8] = {true, false, true, false, false, true, false, true};
    double B = 0;
    bool started = false;
    for (int t = 0; t < 8; ++t)
        if (present[t]) {
            B = !started ? (plus[t] ? terms[t] : -terms[t]) : (plus[t] ? B + terms[t] : B - terms[t]);
            started = true;
        }
    const bool has[4] = {r, l, dn, up};
    const double next[4] = {r ? u[x + 1][y] : 0, l ? u[x - 1][y] : 0, dn ? u[x][y + 1] : 0, up ? u[x][y - 1] : 0};
    double S = 0;
    int k = 0;
    for (int n = 0; n < 4; ++n)
        if (has[n])
            S = k++ == 0 ? next[n] : S + next[n];
    double v = B + S;
    v = v * lambda;
    v = v + s.scaledData.column[x][y];
    u[x][y] = inner ? v * (1.0 / (mu + 4.0 * lambda)) : v / (mu + k * lambda);
}

} // namespace

void referenceGaussSeidelSweep(RofFields& s, double mu, double lambda)
{
    const std::ptrdiff_t N = s.u.columns, M = s.u.rows;
    for (std::ptrdiff_t x = 1; x < N - 1; ++x)
        for (std::ptrdiff_t y = 1; y < M - 1; ++y)
            updatePixel(s, x, y, mu, lambda, true);
    for (std::ptrdiff_t y = 1; y < M - 1; ++y)
        updatePixel(s, 0, y, mu, lambda, false);
    for (std::ptrdiff_t y = 1; y < M - 1; ++y)
        updatePixel(s, N - 1, y, mu, lambda, false);
    for (std::ptrdiff_t x = 1; x < N - 1; ++x)
        updatePixel(s, x, 0, mu, lambda, false);
    for (std::ptrdiff_t x = 1; x < N - 1; ++x)
        updatePixel(s, x, M - 1, mu, lambda, false);
    const std::ptrdiff_t corners[4][2] = {{0, 0}, {N - 1, 0}, {0, M - 1}, {N - 1, M - 1}};
    for (const auto& c : corners)
        updatePixel(s, c[0], c[1], mu, lambda, false);
}

} // namespace imrestore
