// Splitting independent per-element work over threads.
#pragma once

#include "common/thread_start.h"
#include "common/worker_pool.h"

#include <algorithm>
#include <cstddef>
#include <thread>
#include <utility>
#include <vector>

namespace imrestore {

// Calls work(begin, end, worker) for consecutive ranges covering [0, count),
// one per worker, with range bounds at multiples of `grain`. The ranges run
// on the caller's thread and the kept workers (common/worker_pool.h), or on
// threads started for them when those are busy. Ranges below `minimumRange`
// elements are not worth a thread; when a thread cannot be started, the
// caller does its range.
template <class Work>
void forEachRange(std::ptrdiff_t count, int threads, std::ptrdiff_t grain, std::ptrdiff_t minimumRange, Work work)
{
    std::ptrdiff_t workers = std::max<std::ptrdiff_t>(1, std::min<std::ptrdiff_t>(threads, count / minimumRange));
    const std::ptrdiff_t grains = (count + grain - 1) / grain;
    workers = std::min(workers, std::max<std::ptrdiff_t>(1, grains));
    auto bound = [&](std::ptrdiff_t w) { return std::min(count, grains * w / workers * grain); };
    if (workers == 1) {
        work(bound(0), bound(1), 0);
        return;
    }
    auto range = [&](std::ptrdiff_t w) { work(bound(w), bound(w + 1), static_cast<int>(w)); };
    using Range = decltype(range);
    if (runOnKeptWorkers(
            workers, [](void* context, std::ptrdiff_t w) { (*static_cast<Range*>(context))(w); }, &range))
        return;
    std::vector<std::thread> started;
    started.reserve(static_cast<std::size_t>(workers - 1));
    for (std::ptrdiff_t w = 1; w < workers; ++w) {
        std::thread thread = tryStartThread(work, bound(w), bound(w + 1), static_cast<int>(w));
        if (thread.joinable())
            started.push_back(std::move(thread));
        else
            work(bound(w), bound(w + 1), static_cast<int>(w));
    }
    work(bound(0), bound(1), 0);
    for (std::thread& t : started)
        t.join();
}

} // namespace imrestore
