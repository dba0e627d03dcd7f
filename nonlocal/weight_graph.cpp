#include "nonlocal/weight_graph.h"

#include "common/fast_math.h"
#include "common/work_memory.h"

#include <algorithm>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace imrestore {
namespace {

constexpr int kScanWidth = 16;

// Bit k set where links[k] equals target, for k < kScanWidth.
inline std::uint32_t matchMask(const std::int32_t* links, std::int32_t target)
{
#if defined(__SSE2__) || defined(_M_X64)
    // SSE2, which every x86-64 processor has: four slots per comparison.
    const __m128i wanted = _mm_set1_epi32(target);
    std::uint32_t matches = 0;
    for (int q = 0; q < kScanWidth / 4; ++q) {
        const __m128i slots = _mm_loadu_si128(reinterpret_cast<const __m128i*>(links + 4 * q));
        const __m128 equal = _mm_castsi128_ps(_mm_cmpeq_epi32(slots, wanted));
        matches |= static_cast<std::uint32_t>(_mm_movemask_ps(equal)) << (4 * q);
    }
    return matches;
#else
    std::uint32_t matches = 0;
    for (int k = 0; k < kScanWidth; ++k)
        matches |= static_cast<std::uint32_t>(links[k] == target) << k;
    return matches;
#endif
}

// Index of the lowest set bit of a non-zero value.
inline int lowestSetBit(std::uint32_t bits)
{
#if defined(__GNUC__)
    return __builtin_ctz(bits);
#else
    int index = 0;
    while (!(bits & 1u)) {
        bits >>= 1;
        ++index;
    }
    return index;
#endif
}

// Index of the first of the first `count` slots of pixel g naming pixel
// `target`, or -1. Up to kScanWidth slots are compared all at once (the links
// array has kScanWidth entries of padding past its last pixel).
std::ptrdiff_t findSlot(const WeightGraph& graph, std::ptrdiff_t g, std::ptrdiff_t count, std::int32_t target)
{
    const std::int32_t* links = graph.links.get() + g * graph.slots;
    if (count <= kScanWidth) {
        std::uint32_t matches = matchMask(links, target);
        matches &= static_cast<std::uint32_t>((std::uint64_t{1} << count) - 1);
        return matches ? lowestSetBit(matches) : -1;
    }
    for (std::ptrdiff_t k = 0; k < count; ++k)
        if (links[k] == target)
            return k;
    return -1;
}

// Appends `target` with weight w to the list of pixel g unless the list is
// full or names it already. Returns whether the entry was made.
bool appendSlot(WeightGraph& graph, std::ptrdiff_t g, std::int32_t target, float w)
{
    const std::ptrdiff_t count = graph.counts[g];
    if (count >= graph.slots || findSlot(graph, g, count, target) >= 0)
        return false;
    graph.counts[g] = static_cast<std::int32_t>(count + 1);
    graph.links[g * graph.slots + count] = target;
    graph.weights[g * graph.slots + count] = w;
    return true;
}

} // namespace

bool allocateWeightGraph(std::ptrdiff_t rows, std::ptrdiff_t cols, std::ptrdiff_t slots, WeightGraph* graph)
{
    const std::size_t pixels = static_cast<std::size_t>(rows * cols);
    const std::size_t entries = pixels * static_cast<std::size_t>(slots);
    WeightGraph made{rows, cols, slots, WorkArray<std::int32_t>(pixels), WorkArray<std::int32_t>(entries + kScanWidth),
                     WorkArray<float>(entries), WorkArray<unsigned char>(pixels)};
    if (!made.counts || !made.links || !made.weights || !made.normalised)
        return false;
    *graph = std::move(made);
    return true;
}

bool presetGraph(WeightGraph& graph, int nearest, StopCheck* stop)
{
    const std::ptrdiff_t pixels = graph.rows * graph.cols, slice = 1 << 16;
    for (std::ptrdiff_t first = 0; first < pixels; first += slice) {
        if (pollStop(stop))
            return false;
        const std::ptrdiff_t last = std::min(pixels, first + slice);
        for (std::ptrdiff_t g = first; g < last; ++g) {
            graph.counts[g] = nearest;
            graph.normalised[g] = 0;
        }
        for (std::ptrdiff_t e = first * graph.slots; e < last * graph.slots; ++e) {
            graph.links[e] = 0;
            graph.weights[e] = 0.0f;
        }
    }
    for (int e = 0; e < kScanWidth; ++e)
        graph.links[pixels * graph.slots + e] = 0;
    return true;
}

void insertNearest(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, std::ptrdiff_t k,
                   float w)
{
    const std::ptrdiff_t entry = graphOffset(graph, i, j) * graph.slots + k;
    graph.links[entry] = static_cast<std::int32_t>(graphOffset(graph, i + di, j + dj));
    graph.weights[entry] = w;
}

void insertPair(WeightGraph& graph, std::ptrdiff_t i, std::ptrdiff_t j, int di, int dj, float w)
{
    const std::ptrdiff_t a = graphOffset(graph, i, j), b = graphOffset(graph, i + di, j + dj);
    if (appendSlot(graph, a, static_cast<std::int32_t>(b), w))
        appendSlot(graph, b, static_cast<std::int32_t>(a), w);
}

void pairSlots(WeightGraph& graph)
{
    const std::ptrdiff_t K = graph.slots;
    const std::ptrdiff_t pixels = graph.rows * graph.cols;
    // Graph offsets run rows outer, columns inner: the visiting order.
    for (std::ptrdiff_t g = 0; g < pixels; ++g) {
        for (std::ptrdiff_t k = 0; k < K; ++k) {
            const std::ptrdiff_t partner = graph.links[g * K + k];
            const std::ptrdiff_t q = findSlot(graph, partner, K, static_cast<std::int32_t>(g));
            if (q < 0) {
                graph.links[g * K + k] = 0;
                graph.weights[g * K + k] = 0.0f;
            } else {   // exchanging a slot with itself (q = k) changes nothing
                std::int32_t* links = graph.links.get() + partner * K;
                float* weights = graph.weights.get() + partner * K;
                const std::int32_t link = links[q];
                links[q] = links[k];
                links[k] = link;
                const float weight = weights[q];
                weights[q] = weights[k];
                weights[k] = weight;
            }
        }
    }
}

void normalizeWeights(WeightGraph& graph)
{
    const std::ptrdiff_t K = graph.slots;
    const std::ptrdiff_t pixels = graph.rows * graph.cols;
    for (std::ptrdiff_t g = 0; g < pixels; ++g) {
        float* weights = graph.weights.get() + g * K;
        float sum = 0.0f;
        for (std::ptrdiff_t k = 0; k < K; ++k)
            sum += weights[k];
        if (static_cast<double>(sum) > kSmallestWeightSum) {
            for (std::ptrdiff_t k = 0; k < K; ++k)
                weights[k] = weights[k] / sum;
            graph.normalised[g] = 1;
        }
    }
}

bool storeGraph(const WeightGraph& graph, GraphArrays& arrays, StopCheck* stop)
{
    const std::ptrdiff_t K = graph.slots, N = graph.cols;
    const std::ptrdiff_t pixels = graph.rows * graph.cols;
    for (std::ptrdiff_t g = 0; g < pixels; ++g)
        arrays.countPlane()[g] = graph.counts[g];
    for (std::ptrdiff_t k = 0; k < K; ++k) {
        if (pollStop(stop))
            return false;
        float* weightPlane = arrays.weightPlane(k);
        float* rootPlane = arrays.rootPlane(k);
        std::int32_t* columnPlane = arrays.columnPlane(k);
        std::int32_t* rowPlane = arrays.rowPlane(k);
        for (std::ptrdiff_t g = 0; g < pixels; ++g) {
            const float w = graph.weights[g * K + k];
            const std::int32_t link = graph.links[g * K + k];
            weightPlane[g] = w;
            rootPlane[g] = graph.normalised[g] ? fastSqrt(w) : 0.0f;
            columnPlane[g] = static_cast<std::int32_t>(link % N);
            rowPlane[g] = static_cast<std::int32_t>(link / N);
        }
    }
    return true;
}

} // namespace imrestore
