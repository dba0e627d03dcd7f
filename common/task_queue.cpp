#include "common/task_queue.h"

#include "common/thread_start.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace imrestore {

void runTasks(std::ptrdiff_t count, int threads, StopCheck* stop,
              const std::function<void(std::ptrdiff_t task, StopCheck* stop)>& task)
{
    std::atomic<std::ptrdiff_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    FollowingStopCheck following(stop);
    StopCheck* workerStop = stop ? &following : nullptr;
    auto work = [&](StopCheck* mine) {
        for (std::ptrdiff_t t; (t = next.fetch_add(1)) < count;)
            task(t, mine);
    };
    auto worker = [&] {
        work(workerStop);
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };
    std::vector<std::thread> started;
    const std::ptrdiff_t helpers = std::min<std::ptrdiff_t>(threads, count) - 1;
    for (std::ptrdiff_t w = 0; w < helpers; ++w) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        std::thread thread = tryStartThread(worker);
        if (thread.joinable()) {
            started.push_back(std::move(thread));
        } else {
            std::lock_guard<std::mutex> lock(mutex);
            --running;
            break;
        }
    }
    work(stop);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(10));
            lock.unlock();
            pollStop(stop);
            lock.lock();
        }
    }
    for (std::thread& t : started)
        t.join();
}

} // namespace imrestore
