// Worker threads kept between calls: every range once, whatever thread runs
// it; nested calls and released workers.
#include "common/parallel_ranges.h"
#include "common/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace imrestore;

namespace {

struct Tally {
    std::vector<std::atomic<int>> hits;
    explicit Tally(std::ptrdiff_t ranges) : hits(static_cast<std::size_t>(ranges)) {}
    static void count(void* context, std::ptrdiff_t range) { ++static_cast<Tally*>(context)->hits[range]; }
};

} // namespace

TEST(WorkerPool, EveryRangeRunsOnceWhetherTheWorkersSpinOrSleep)
{
    releaseKeptWorkers();
    for (std::ptrdiff_t ranges : {1, 2, 3, 5, 2}) {
        Tally tally(ranges);
        ASSERT_TRUE(runOnKeptWorkers(ranges, Tally::count, &tally));
        for (std::ptrdiff_t r = 0; r < ranges; ++r)
            EXPECT_EQ(tally.hits[r].load(), 1) << ranges << " ranges, range " << r;
    }
    EXPECT_EQ(keptWorkerCount(), 4);
    // Back to back (the workers still spinning), then after a pause long
    // enough for them to sleep.
    std::atomic<long> total{0};
    auto add = [](void* context, std::ptrdiff_t range) { *static_cast<std::atomic<long>*>(context) += range + 1; };
    for (int job = 0; job < 2000; ++job) {
        if (job % 500 == 499)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(runOnKeptWorkers(3, add, &total));
    }
    EXPECT_EQ(total.load(), 2000L * 6);
    releaseKeptWorkers();
    EXPECT_EQ(keptWorkerCount(), 0);
}

TEST(WorkerPool, ANestedSplitStartsThreadsOfItsOwn)
{
    // Inside a range the workers are busy: runOnKeptWorkers declines, and
    // forEachRange falls back to threads it starts.
    std::atomic<int> declined{0};
    std::vector<std::atomic<int>> inner(2 * 1000);
    auto outer = [&](std::ptrdiff_t first, std::ptrdiff_t last, int) {
        Tally probe(2);
        declined += runOnKeptWorkers(2, Tally::count, &probe) ? 0 : 1;
        for (std::ptrdiff_t r = first; r < last; ++r)
            forEachRange(1000, 2, 1, 1, [&](std::ptrdiff_t a, std::ptrdiff_t b, int) {
                for (std::ptrdiff_t i = a; i < b; ++i)
                    ++inner[r * 1000 + i];
            });
    };
    forEachRange(2, 2, 1, 1, outer);
    EXPECT_EQ(declined.load(), 2);
    for (std::size_t i = 0; i < inner.size(); ++i)
        ASSERT_EQ(inner[i].load(), 1) << i;
    releaseKeptWorkers();
}
