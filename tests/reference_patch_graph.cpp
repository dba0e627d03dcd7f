#include "reference_patch_graph.h"

#include "common/fast_math.h"

#include <new>
#include <vector>

namespace imrestore {

namespace {

struct Reference {
    const float* image;
    const float* kernel;
    const PatchGraphSettings& s;
    WeightGraph& graph;
    int M, N, im2, iw2, ws;
    std::vector<float> patch, window;

    float& patchAt(int a, int b) { return patch[(b + im2) * s.patchSide + (a + im2)]; }
    float& windowAt(int di, int dj) { return window[(dj + iw2) * s.windowSide + (di + iw2)]; }
    float pixel(int i, int j) const { return image[i + M * j]; }

    void visit(int i, int j, int up, int down, int left, int right, bool border)
    {
        for (int a = -up; a <= down; ++a)
            for (int b = -left; b <= right; ++b)
                patchAt(a, b) = pixel(i + a, j + b);
        for (int di = -iw2; di <= iw2; ++di) {
            for (int dj = -iw2; dj <= iw2; ++dj) {
                if (border && (i + di - up < 0 || i + di + down > M - 1 || j + dj - left < 0 || j + dj + right > N - 1)) {
                    windowAt(di, dj) = 0.0f;
                    continue;
                }
                float D = 0.0f;
                for (int a = -up; a <= down; ++a) {
                    for (int b = -left; b <= right; ++b) {
                        const float d = patchAt(a, b) - pixel(i + di + a, j + dj + b);
                        const double product = static_cast<double>(kernel[(a + im2) + s.patchSide * (b + im2)]) * d * d;
                        D = static_cast<float>(static_cast<double>(D) + product);
                    }
                }
                windowAt(di, dj) = fastExp(-static_cast<double>(D) / static_cast<double>(s.h));
            }
        }
        windowAt(0, 0) = 0.0f;
        if (s.nearest == 4) {
            const int offsets[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
            for (int slot = 0; slot < 4; ++slot) {
                const int di = offsets[slot][0], dj = offsets[slot][1];
                if (border && (i + di < 0 || i + di > M - 1 || j + dj < 0 || j + dj > N - 1))
                    continue;
                insertNearest(graph, i, j, di, dj, slot, windowAt(di, dj));
                windowAt(di, dj) = 0.0f;
            }
        }
        const std::ptrdiff_t g = graphOffset(graph, i, j);
        while (graph.counts[g] < graph.slots) {
            float H = 0.0f;
            int bestDi = 0, bestDj = 0;
            for (int di = -iw2; di <= iw2; ++di)
                for (int dj = -iw2; dj <= iw2; ++dj)
                    if (windowAt(di, dj) > H) {
                        H = windowAt(di, dj);
                        bestDi = di;
                        bestDj = dj;
                    }
            if (!(static_cast<double>(H) > 0.001))
                break;
            insertPair(graph, i, j, bestDi, bestDj, H);
            windowAt(bestDi, bestDj) = 0.0f;
        }
    }

    void band(int rowBegin, int rowEnd, int colBegin, int colEnd)
    {
        for (int i = rowBegin; i < rowEnd; ++i)
            for (int j = colBegin; j < colEnd; ++j)
                visit(i, j, i - im2 >= 0 ? im2 : i, i + im2 <= M - 1 ? im2 : M - 1 - i, j - im2 >= 0 ? im2 : j,
                      j + im2 <= N - 1 ? im2 : N - 1 - j, true);
    }
};

} // namespace

void buildReferencePatchGraph(const float* image, const float* kernel, const PatchGraphSettings& s,
                              GraphArrays& arrays)
{
    WeightGraph graph;
    if (!allocateWeightGraph(arrays.rows, arrays.cols, arrays.slots, &graph))
        throw std::bad_alloc();
    const int im2 = patchHalf(s), iw2 = windowHalf(s), ic1 = im2 + iw2;
    const int M = static_cast<int>(graph.rows), N = static_cast<int>(graph.cols);
    Reference r{image, kernel, s, graph, M, N, im2, iw2, 2 * iw2 + 1,
                std::vector<float>(static_cast<size_t>(s.patchSide) * s.patchSide),
                std::vector<float>(static_cast<size_t>(s.windowSide) * s.windowSide)};
    presetGraph(graph, s.nearest);
    for (int i = ic1; i <= M - ic1 - 1; ++i)
        for (int j = ic1; j <= N - ic1 - 1; ++j)
            r.visit(i, j, im2, im2, im2, im2, false);
    r.band(0, ic1, 0, N);
    r.band(M - ic1, M, 0, N);
    r.band(ic1, M - ic1, 0, ic1);
    r.band(ic1, M - ic1, N - ic1, N);
    pairSlots(graph);
    normalizeWeights(graph);
    storeGraph(graph, arrays);
}

} // namespace imrestore
