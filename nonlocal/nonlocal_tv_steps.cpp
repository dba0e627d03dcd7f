#include "nonlocal/nonlocal_tv_steps.h"

#include "common/fast_math.h"

#include <cmath>

namespace imrestore {

namespace {

// subtract(x) ← λ·S for the pixels of rows [first, last), with
// S = Σ_k s_k·(d_k(x) − d_k(y_k)) − s_k·(b_k(x) − b_k(y_k)), each term its own
// rounded step, d and b of y_k at slot k. One slot plane at a time for all
// the rows, so that the neighbours' values come from a few rows of one plane.
template <int V>
void divergenceRows(const TvState& st, std::ptrdiff_t first, std::ptrdiff_t last, const float* d, const float* b,
                    float* sums)
{
    const SweepSchedule& s = *st.schedule;
    const std::int32_t N = static_cast<std::int32_t>(s.cols);
    const std::ptrdiff_t P = s.rows * s.cols;
    for (std::ptrdiff_t p = 0; p < (last - first) * N; ++p)
        sums[p] = 0.0f;
    for (std::ptrdiff_t k = 0; k < s.slots; ++k)
        for (std::ptrdiff_t i = first; i < last; ++i) {
            const std::ptrdiff_t g0 = N * i;
            const simd::DivergenceTerms terms{sums + (i - first) * N,
                                              st.graph->rootPlane(k) + g0,
                                              s.graphNeighbour.get() + k * P + g0,
                                              d + k * P,
                                              b + k * P,
                                              g0};
            st.kernels->divergenceTerms(terms, 0, N);
        }
    for (std::ptrdiff_t i = first; i < last; ++i) {
        const float* sum = sums + (i - first) * N;
        float* out = st.subtract + slabRowStart(s, i);
        for (std::int32_t j = 0; j < N; ++j)
            out[j * V] = st.lambda * sum[j];
    }
}

// The shrink of the nonlocal gradient plus b into d and the Bregman update of
// b for the pixels of row i, one slot plane at a time. u(0, 0) is read from
// its copy. bIn is b, or the starting b in the first iteration.
template <int V>
void shrinkRow(const TvState& st, std::ptrdiff_t i, const float* bIn, float* own, float* norm, float* gradient)
{
    const SweepSchedule& s = *st.schedule;
    const std::int32_t N = static_cast<std::int32_t>(s.cols);
    const std::ptrdiff_t P = s.rows * s.cols, g0 = N * i, K = s.slots;
    const float* u = st.u;
    const float* slabRow = u + slabRowStart(s, i);
    for (std::int32_t j = 0; j < N; ++j) {
        own[j] = slabRow[j * V];
        norm[j] = 0.0f;   // the sum of squares until the norm is taken
    }
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        const simd::GradientTerms terms{u,
                                        own,
                                        st.graph->rootPlane(k) + g0,
                                        s.graphPosition.get() + k * P + g0,
                                        bIn + k * P + g0,
                                        st.d + k * P + g0,
                                        gradient + k * N,
                                        norm,
                                        st.originCopy,
                                        i + 1 < s.rows ? N : 0};
        st.kernels->gradientTerms(terms, 0, N);
    }
    for (std::int32_t j = 0; j < N; ++j)
        norm[j] = fastSqrt(norm[j]);
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        const simd::ShrinkTerms terms{norm,           gradient + k * N,       st.d + k * P + g0,
                                      bIn + k * P + g0, st.b + k * P + g0, st.tau};
        st.kernels->shrinkTerms(terms, 0, N);
    }
}

} // namespace

void simd::divergenceTermsScalar(const DivergenceTerms& a, Range first, Range last)
{
    const float* dHere = a.d + a.rowStart;
    const float* bHere = a.b + a.rowStart;
    for (Range j = first; j < last; ++j) {
        const std::ptrdiff_t other = a.neighbour[j];
        a.sum[j] = a.sum[j] + a.root[j] * (dHere[j] - a.d[other]);
        a.sum[j] = a.sum[j] - a.root[j] * (bHere[j] - a.b[other]);
    }
}

void simd::gradientTermsScalar(const GradientTerms& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        const std::int32_t where = a.position[j] == 0 ? a.originCopy : a.position[j];
        const float grad = a.root[j] * (a.u[where] - a.own[j]);
        const float t = grad + a.b[j];
        a.norm[j] = a.norm[j] + t * t;
        a.d[j] = t;
        a.gradient[j] = grad;
    }
}

void simd::shrinkTermsScalar(const ShrinkTerms& a, Range first, Range last)
{
    for (Range j = first; j < last; ++j) {
        if (a.tau > a.norm[j]) {
            a.d[j] = 0.0f;
            a.b[j] = a.bIn[j] + a.gradient[j];
        } else {
            float factor = a.norm[j] - a.tau;
            factor = factor / a.norm[j];
            a.d[j] = a.d[j] * factor;
            a.b[j] = a.bIn[j] + (a.gradient[j] - a.d[j]);
        }
    }
}

template <int V>
void divergenceBand(const TvState& st, std::ptrdiff_t band, std::int64_t n, float* scratch)
{
    divergenceRows<V>(st, band * V, bandEnd(*st.schedule, band), n == 0 ? st.d0 : st.d, n == 0 ? st.b0 : st.b,
                      scratch);
}

template <int V>
void shrinkBand(const TvState& st, std::ptrdiff_t band, std::int64_t n, float* scratch)
{
    const std::ptrdiff_t N = st.schedule->cols;
    for (std::ptrdiff_t i = band * V; i < bandEnd(*st.schedule, band); ++i)
        shrinkRow<V>(st, i, n == 0 ? st.b0 : st.b, scratch, scratch + N, scratch + 2 * N);
}

template void divergenceBand<1>(const TvState&, std::ptrdiff_t, std::int64_t, float*);
template void divergenceBand<kWavefrontLanes>(const TvState&, std::ptrdiff_t, std::int64_t, float*);
template void shrinkBand<1>(const TvState&, std::ptrdiff_t, std::int64_t, float*);
template void shrinkBand<kWavefrontLanes>(const TvState&, std::ptrdiff_t, std::int64_t, float*);

float changeSinceLast(const SweepSchedule& s, const float* u, float* uold)
{
    float sum = 0.0f;
    for (std::ptrdiff_t i = 0; i < s.rows; ++i) {
        const std::ptrdiff_t start = slabRowStart(s, i);
        for (std::ptrdiff_t j = 0; j < s.cols; ++j) {
            const std::ptrdiff_t p = start + j * s.lanes;
            const float e = u[p] - uold[p];
            const float square = e * e;
            sum = sum + square;
            uold[p] = u[p];
        }
    }
    const float mean = sum / static_cast<float>(s.rows * s.cols);
    return static_cast<float>(std::sqrt(static_cast<double>(mean)));
}

} // namespace imrestore
