// Work memory: large blocks kept between calls, within their bounds.
#include "common/work_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace imrestore;

TEST(WorkMemory, KeepsLargeBlocksForRequestsTheyFitWithinItsBounds)
{
    releaseKeptWorkMemory();
    constexpr std::size_t MiB = std::size_t{1} << 20;
    void* a = allocateWorkMemory(5 * MiB);
    ASSERT_NE(a, nullptr);
    std::memset(a, 1, 5 * MiB);
    releaseWorkMemory(a);
    EXPECT_GE(keptWorkMemoryBytes(), 5 * MiB);
    // Too small to be worth the block (it would waste more than half).
    void* small = allocateWorkMemory(2 * MiB);
    EXPECT_NE(small, a);
    // The same size again gets the kept block.
    void* again = allocateWorkMemory(5 * MiB);
    EXPECT_EQ(again, a);
    releaseWorkMemory(again);
    releaseWorkMemory(small);
    releaseWorkMemory(nullptr);

    // Small blocks are never kept; large ones at most kKeptBlocks and kKeptBytes.
    releaseKeptWorkMemory();
    EXPECT_EQ(keptWorkMemoryBytes(), 0u);
    releaseWorkMemory(allocateWorkMemory(1000));
    EXPECT_EQ(keptWorkMemoryBytes(), 0u);
    std::vector<void*> blocks;
    for (int n = 0; n < 2 * kKeptBlocks; ++n)
        blocks.push_back(allocateWorkMemory((n + 1) * 3 * MiB));
    for (void* block : blocks)
        releaseWorkMemory(block);
    EXPECT_LE(keptWorkMemoryBytes(), kKeptBytes);
    EXPECT_GT(keptWorkMemoryBytes(), 0u);
    releaseWorkMemory(allocateWorkMemory(kKeptBytes + MiB));   // larger than the bound: given back
    EXPECT_LE(keptWorkMemoryBytes(), kKeptBytes);
    releaseKeptWorkMemory();
    EXPECT_EQ(keptWorkMemoryBytes(), 0u);
}

TEST(WorkMemory, WorkArraysOwnTheirBlockAndRefuseCountsBeyondTheAddressSpace)
{
    releaseKeptWorkMemory();
    constexpr std::size_t large = std::size_t{3} << 20;
    {
        const WorkArray<float> filled(large / sizeof(float), 2.5f);
        ASSERT_TRUE(filled);
        EXPECT_EQ(filled[0], 2.5f);
        EXPECT_EQ(filled[large / sizeof(float) - 1], 2.5f);
        WorkArray<float> moved;
        EXPECT_FALSE(moved);
        WorkArray<float> owner(16);
        moved = std::move(owner);
        EXPECT_TRUE(moved);
    }
    // Both blocks went back: the large one is kept for the next call.
    EXPECT_GE(keptWorkMemoryBytes(), large);
    EXPECT_FALSE(WorkArray<double>(SIZE_MAX / 4));
    EXPECT_FALSE(WorkArray<char>(SIZE_MAX - 8));
    const WorkArray<int> empty(0);
    EXPECT_TRUE(empty);   // room for one value
    releaseKeptWorkMemory();
}

#if defined(__GLIBC__) && defined(__linux__)
// A kept block inside the C library's heap sits among the host's own arrays
// and keeps the host from reusing or trimming around it; the host then takes
// fresh pages for its results every other call, each page a fault.
TEST(WorkMemory, LargeBlocksLieOutsideTheCLibrarysHeap)
{
    releaseKeptWorkMemory();
    constexpr std::size_t MiB = std::size_t{1} << 20;
    const struct mallinfo2 before = mallinfo2();
    std::vector<void*> blocks;
    for (std::size_t size : {MiB, 5 * MiB, 40 * MiB}) {
        void* block = allocateWorkMemory(size);
        ASSERT_NE(block, nullptr);
        std::memset(block, 1, size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 64, 0u);
        blocks.push_back(block);
    }
    const struct mallinfo2 during = mallinfo2();
    EXPECT_EQ(during.hblkhd, before.hblkhd);   // the library's own mappings
    EXPECT_LT(during.arena, before.arena + MiB);
    for (void* block : blocks)
        releaseWorkMemory(block);
    releaseKeptWorkMemory();
}
#endif
