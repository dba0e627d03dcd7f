// The choice of vector path: the processor's best, capped by IMRESTORE_SIMD.
#include "simd/kernels.h"
#include "simd_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace imrestore;

TEST(SimdPath, TheEnvironmentCapsTheBestPathAndNeverRaisesIt)
{
    const SimdPath best = bestSimdPath();
    struct Case {
        const char* value;
        SimdPath expected;
    };
    const Case cases[] = {{"none", SimdPath::none},
                          {"avx2", best < SimdPath::avx2 ? best : SimdPath::avx2},
                          {"avx512", best},
                          {"sse9", best},
                          {"AVX2", best},
                          {"", best}};
    const char* saved = std::getenv("IMRESTORE_SIMD");
    for (const Case& c : cases) {
        setenv("IMRESTORE_SIMD", c.value, 1);
        EXPECT_EQ(simdPath(), c.expected) << '"' << c.value << '"';
        EXPECT_EQ(simd::kernels().path, c.expected) << '"' << c.value << '"';
    }
    unsetenv("IMRESTORE_SIMD");
    EXPECT_EQ(simdPath(), best);
    if (saved)
        setenv("IMRESTORE_SIMD", saved, 1);
    // A table asked for a path the processor lacks is the best one it has.
    EXPECT_EQ(simd::kernelsFor(SimdPath::avx512).path, best);
    EXPECT_EQ(simd::kernelsFor(SimdPath::none).path, SimdPath::none);
}

TEST(SimdPath, EveryPathThisProcessorHasIsTested)
{
    int paths = 0;
    forEachSimdPath([&] { ++paths; });
    EXPECT_EQ(paths, static_cast<int>(bestSimdPath()) + 1);
    if (bestSimdPath() < SimdPath::avx512)
        std::printf("This processor has no %s: those kernels are built but not run here.\n",
                    bestSimdPath() < SimdPath::avx2 ? "AVX2 or AVX-512" : "AVX-512");
}
