#include "common/ordered_tasks.h"

#include "common/thread_start.h"

#include <utility>

namespace imrestore {

OrderedTaskPool::OrderedTaskPool(std::vector<std::ptrdiff_t> taskCounts, int threads, Run run)
    : taskCounts_(std::move(taskCounts)), run_(std::move(run)), done_(taskCounts_.size(), 0)
{
    workers_.reserve(threads > 1 ? static_cast<std::size_t>(threads - 1) : 0);
    for (int t = 1; t < threads; ++t) {
        std::thread worker = tryStartThread([this] { work(); });
        if (!worker.joinable())
            break;
        workers_.push_back(std::move(worker));
    }
}

OrderedTaskPool::~OrderedTaskPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void OrderedTaskPool::openNext()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++opened_;
        skipEmptyBatches();
    }
    wake_.notify_all();
}

void OrderedTaskPool::skipEmptyBatches()
{
    while (nextBatch_ < opened_ && taskCounts_[nextBatch_] == 0)
        ++nextBatch_;
}

void OrderedTaskPool::finish(std::ptrdiff_t batch)
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (done_[batch] < taskCounts_[batch]) {
        if (nextBatch_ <= batch && nextBatch_ < opened_)
            runOne(lock);
        else
            finished_.wait(lock);
    }
}

void OrderedTaskPool::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || nextBatch_ < opened_; });
        if (stop_)
            return;
        runOne(lock);
    }
}

// Takes the next open task, runs it unlocked and counts it done.
void OrderedTaskPool::runOne(std::unique_lock<std::mutex>& lock)
{
    const std::ptrdiff_t n = nextBatch_, task = nextTask_++;
    if (nextTask_ == taskCounts_[n]) {
        ++nextBatch_;
        nextTask_ = 0;
        skipEmptyBatches();
    }
    lock.unlock();
    run_(n, task);
    lock.lock();
    if (++done_[n] == taskCounts_[n])
        finished_.notify_all();
}

} // namespace imrestore
