// Ending a long computation early when its caller asks (Ctrl-C at the host).
//
// A routine that may run for seconds takes a StopCheck* (null: never stop).
// Its caller's thread calls poll() between rows, bands or iterations; worker
// threads only read stopped(). Once a poll says stop, the routine releases
// its work memory, joins its threads and returns false.
#pragma once

#include <atomic>

namespace imrestore {

class StopCheck {
public:
    using Question = bool (*)(void* context);

    StopCheck(Question question, void* context) : question_(question), context_(context) {}
    StopCheck(const StopCheck&) = delete;
    StopCheck& operator=(const StopCheck&) = delete;

    // Asks the caller whether to stop; on the caller's thread only. Once it
    // has said yes, stays stopped without asking again.
    bool poll()
    {
        if (!stopped_.load(std::memory_order_relaxed) && question_(context_))
            stopped_.store(true, std::memory_order_release);
        return stopped();
    }

    // Whether a poll has said stop; from any thread.
    bool stopped() const { return stopped_.load(std::memory_order_acquire); }

private:
    Question question_;
    void* context_;
    std::atomic<bool> stopped_{false};
};

// The StopCheck of a task that may run on a worker thread: polling it asks
// nothing, it only reports whether `leader` (polled on the caller's thread)
// has said stop.
class FollowingStopCheck : public StopCheck {
public:
    explicit FollowingStopCheck(const StopCheck* leader)
        : StopCheck([](void* context) { return static_cast<const StopCheck*>(context)->stopped(); },
                    const_cast<StopCheck*>(leader))
    {
    }
};

// poll() through a pointer that may be null.
inline bool pollStop(StopCheck* stop) { return stop && stop->poll(); }
inline bool isStopped(const StopCheck* stop) { return stop && stop->stopped(); }

} // namespace imrestore
