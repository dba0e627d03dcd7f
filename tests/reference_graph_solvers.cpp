#include "reference_graph_solvers.h"

#include "common/fast_math.h"

#include <cmath>

namespace imrestore {

namespace {

struct Walk {
    const GraphInput& g;
    std::ptrdiff_t P() const { return g.rows * g.cols; }
    std::ptrdiff_t at(std::ptrdiff_t i, std::ptrdiff_t j) const { return j + g.cols * i; }
    float weight(std::ptrdiff_t x, std::ptrdiff_t k) const { return g.weights[x + 2 * k * P()]; }
    float root(std::ptrdiff_t x, std::ptrdiff_t k) const { return g.weights[x + (2 * k + 1) * P()]; }
    std::ptrdiff_t column(std::ptrdiff_t x, std::ptrdiff_t k) const { return g.neighbours[x + (2 * k + 1) * P()]; }
    std::ptrdiff_t row(std::ptrdiff_t x, std::ptrdiff_t k) const { return g.neighbours[x + (2 * k + 2) * P()]; }
    // Image element of the slot-k neighbour, and its graph offset.
    std::ptrdiff_t image(std::ptrdiff_t x, std::ptrdiff_t k) const { return row(x, k) + g.rows * column(x, k); }
    std::ptrdiff_t graph(std::ptrdiff_t x, std::ptrdiff_t k) const { return column(x, k) + g.cols * row(x, k); }
};

} // namespace

std::vector<float> referenceNonlocalTv(float* u, float* d, float* b, const float* f, const GraphInput& graph,
                                       const NonlocalTvSettings& s)
{
    const Walk w{graph};
    const std::ptrdiff_t M = graph.rows, N = graph.cols, K = graph.slots, P = M * N;
    std::vector<float> uold(u, u + P), gradient(static_cast<size_t>(K)), progress;
    const float lambda = s.lambda, mu = s.mu, tau = 1.0f / lambda;
    for (int iteration = 0; iteration < s.nOuter; ++iteration) {
        for (int sweep = 0; sweep < 2; ++sweep)
            for (std::ptrdiff_t i = 0; i < M; ++i)
                for (std::ptrdiff_t j = 0; j < N; ++j) {
                    const std::ptrdiff_t x = w.at(i, j), p = i + M * j;
                    float sw = 0.0f, swu = 0.0f, sum = 0.0f;
                    for (std::ptrdiff_t k = 0; k < K; ++k) {
                        const std::ptrdiff_t y = w.graph(x, k);
                        sw = sw + w.weight(x, k);
                        swu = swu + w.weight(x, k) * u[w.image(x, k)];
                        sum = sum + w.root(x, k) * (d[x + k * P] - d[y + k * P]);
                        sum = sum - w.root(x, k) * (b[x + k * P] - b[y + k * P]);
                    }
                    const float denominator = mu + lambda * sw;
                    u[p] = (lambda * swu + mu * f[p] - lambda * sum) / denominator;
                }
        for (std::ptrdiff_t i = 0; i < M; ++i)
            for (std::ptrdiff_t j = 0; j < N; ++j) {
                const std::ptrdiff_t x = w.at(i, j), p = i + M * j;
                float q = 0.0f;
                for (std::ptrdiff_t k = 0; k < K; ++k) {
                    const float grad = w.root(x, k) * (u[w.image(x, k)] - u[p]);
                    const float t = grad + b[x + k * P];
                    q = q + t * t;
                    d[x + k * P] = t;
                    gradient[k] = grad;
                }
                const float n = fastSqrt(q);
                if (tau > n) {
                    for (std::ptrdiff_t k = 0; k < K; ++k) {
                        d[x + k * P] = 0.0f;
                        b[x + k * P] = b[x + k * P] + gradient[k];
                    }
                } else {
                    float phi = n - tau;
                    phi = phi / n;
                    for (std::ptrdiff_t k = 0; k < K; ++k) {
                        d[x + k * P] = d[x + k * P] * phi;
                        b[x + k * P] = b[x + k * P] + (gradient[k] - d[x + k * P]);
                    }
                }
            }
        float e2 = 0.0f;
        for (std::ptrdiff_t i = 0; i < M; ++i)
            for (std::ptrdiff_t j = 0; j < N; ++j) {
                const std::ptrdiff_t p = i + M * j;
                const float e = u[p] - uold[p];
                e2 = e2 + e * e;
                uold[p] = u[p];
            }
        e2 = e2 / static_cast<float>(M * N);
        progress.push_back(static_cast<float>(std::sqrt(static_cast<double>(e2))));
    }
    return progress;
}

void referenceNonlocalH1(float* u, const float* f, const GraphInput& graph, float mu, int nOuter)
{
    const Walk w{graph};
    const std::ptrdiff_t M = graph.rows, N = graph.cols, K = graph.slots;
    for (int sweep = 0; sweep < 2 * nOuter; ++sweep)
        for (std::ptrdiff_t i = 0; i < M; ++i)
            for (std::ptrdiff_t j = 0; j < N; ++j) {
                const std::ptrdiff_t x = w.at(i, j), p = i + M * j;
                float s1 = 0.0f, s2 = 0.0f;
                for (std::ptrdiff_t k = 0; k < K; ++k) {
                    s1 = s1 + w.weight(x, k) * u[w.image(x, k)];
                    s2 = s2 + w.weight(x, k);
                }
                u[p] = (mu * f[p] + s1) / (mu + s2);
            }
}

} // namespace imrestore
