// Batches of independent tasks, opened and consumed in order by one thread
// while worker threads run the open tasks.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace imrestore {

// Batch n holds taskCounts[n] tasks; run(n, task) computes one of them and
// may run on any thread, at any time after batch n was opened. The caller
// opens batches in order, a few ahead of the one it consumes, and finish(n)
// returns once every task of batch n is done, the caller's thread running
// open tasks while it waits. With fewer threads than asked for (or one) the
// caller runs every task itself, so the work done never depends on the count.
class OrderedTaskPool {
public:
    using Run = std::function<void(std::ptrdiff_t batch, std::ptrdiff_t task)>;

    OrderedTaskPool(std::vector<std::ptrdiff_t> taskCounts, int threads, Run run);
    ~OrderedTaskPool();   // waits for the running tasks; unopened ones never run

    OrderedTaskPool(const OrderedTaskPool&) = delete;
    OrderedTaskPool& operator=(const OrderedTaskPool&) = delete;

    void openNext();
    void finish(std::ptrdiff_t batch);
    int threads() const { return static_cast<int>(workers_.size()) + 1; }

private:
    void work();
    void runOne(std::unique_lock<std::mutex>& lock);
    void skipEmptyBatches();

    const std::vector<std::ptrdiff_t> taskCounts_;
    const Run run_;
    std::vector<std::ptrdiff_t> done_;   // finished tasks per batch
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::ptrdiff_t opened_ = 0, nextBatch_ = 0, nextTask_ = 0;
    bool stop_ = false;
};

} // namespace imrestore
