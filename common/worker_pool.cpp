#include "common/worker_pool.h"

#include "common/cpu_pause.h"
#include "common/thread_start.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

namespace imrestore {

namespace {

// More workers than this are started for the call alone.
constexpr int kMaxKeptWorkers = 63;
// About 50 µs of pause instructions: passes a few hundred microseconds apart
// find their workers awake.
constexpr int kSpins = 4000;

struct Pool {
    std::atomic<bool> busy{false};     // a call is using the workers
    std::mutex lock;                   // guards the job and `stopping`
    std::condition_variable wake;      // workers wait here for a job
    std::condition_variable finished;  // the caller waits here for the last range
    std::atomic<std::uint64_t> job{0}; // raised for every job
    bool stopping = false;
    void (*task)(void*, std::ptrdiff_t) = nullptr;
    void* context = nullptr;
    std::ptrdiff_t ranges = 0, next = 0;
    std::atomic<std::ptrdiff_t> remaining{0};
    std::thread workers[kMaxKeptWorkers];
    int count = 0;

    // Runs ranges of job `id` until none is left to take.
    void takeRanges(std::uint64_t id)
    {
        for (;;) {
            std::ptrdiff_t range;
            void (*f)(void*, std::ptrdiff_t);
            void* c;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (job.load(std::memory_order_relaxed) != id || next >= ranges)
                    return;
                range = next++;
                f = task;
                c = context;
            }
            f(c, range);
            if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard<std::mutex> guard(lock);
                finished.notify_all();
            }
        }
    }

    void work()
    {
        std::uint64_t seen = job.load(std::memory_order_acquire);
        for (;;) {
            for (int spins = 0; spins < kSpins && job.load(std::memory_order_acquire) == seen; ++spins)
                cpuPause();
            {
                std::unique_lock<std::mutex> guard(lock);
                wake.wait(guard, [&] { return stopping || job.load(std::memory_order_relaxed) != seen; });
                if (stopping)
                    return;
                seen = job.load(std::memory_order_relaxed);
            }
            takeRanges(seen);
        }
    }
};

// Never destroyed: the host may clear the module after the static
// destructors have run.
Pool& pool()
{
    alignas(Pool) static unsigned char storage[sizeof(Pool)];
    static Pool* const instance = new (storage) Pool;
    return *instance;
}

} // namespace

bool runOnKeptWorkers(std::ptrdiff_t ranges, void (*task)(void*, std::ptrdiff_t), void* context)
{
    Pool& p = pool();
    if (ranges - 1 > kMaxKeptWorkers || p.busy.exchange(true, std::memory_order_acquire))
        return false;
    while (p.count < ranges - 1) {
        std::thread worker = tryStartThread([&p] { p.work(); });
        if (!worker.joinable())
            break;
        p.workers[p.count++] = std::move(worker);
    }
    std::uint64_t id;
    {
        std::lock_guard<std::mutex> guard(p.lock);
        p.task = task;
        p.context = context;
        p.ranges = ranges;
        p.next = 0;
        p.remaining.store(ranges, std::memory_order_relaxed);
        id = p.job.load(std::memory_order_relaxed) + 1;
        p.job.store(id, std::memory_order_release);
    }
    p.wake.notify_all();
    p.takeRanges(id);
    for (int spins = 0; spins < kSpins && p.remaining.load(std::memory_order_acquire) > 0; ++spins)
        cpuPause();
    {
        std::unique_lock<std::mutex> guard(p.lock);
        p.finished.wait(guard, [&] { return p.remaining.load(std::memory_order_acquire) == 0; });
    }
    p.busy.store(false, std::memory_order_release);
    return true;
}

void releaseKeptWorkers()
{
    Pool& p = pool();
    while (p.busy.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
    {
        std::lock_guard<std::mutex> guard(p.lock);
        p.stopping = true;
    }
    p.wake.notify_all();
    for (int w = 0; w < p.count; ++w)
        p.workers[w].join();
    p.count = 0;
    {
        std::lock_guard<std::mutex> guard(p.lock);
        p.stopping = false;
    }
    p.busy.store(false, std::memory_order_release);
}

int keptWorkerCount()
{
    return pool().count;
}

} // namespace imrestore
