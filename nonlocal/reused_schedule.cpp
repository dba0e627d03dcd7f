#include "nonlocal/reused_schedule.h"

#include <mutex>
#include <new>
#include <utility>

namespace imrestore {

namespace {

struct Kept {
    std::mutex lock;
    SweepSchedule schedule;
};

// Never destroyed, for the host may clear the module after the static
// destructors have run; built in static storage, so that nothing is left on
// the heap once the layout is released.
Kept& kept()
{
    alignas(Kept) static unsigned char storage[sizeof(Kept)];
    static Kept* const instance = new (storage) Kept;
    return *instance;
}

// Moves the kept layout out (an empty one when none is kept).
SweepSchedule takeKept()
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    SweepSchedule taken = std::move(k.schedule);
    k.schedule = SweepSchedule{};
    return taken;
}

} // namespace

bool keptSweepScheduleFits(const GraphInput& graph, int threads)
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    return sweepScheduleFits(k.schedule, graph, threads);
}

bool ReusedSweepSchedule::obtain(const GraphInput& graph, int threads, KeptLayout known)
{
    SweepSchedule last = takeKept();
    if (last.graphPosition && (known == KeptLayout::fits || sweepScheduleFits(last, graph, threads))) {
        schedule_ = std::move(last);
        return true;
    }
    last = SweepSchedule{};
    return buildSweepSchedule(graph, threads, &schedule_);
}

ReusedSweepSchedule::~ReusedSweepSchedule()
{
    // Larger layouts are not worth their memory between calls.
    if (!schedule_.linkPosition || scheduleBytes(schedule_) > kKeptBytes)
        return;
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    k.schedule = std::move(schedule_);
}

void releaseKeptSweepSchedule()
{
    SweepSchedule released = takeKept();
}

bool sweepScheduleKept()
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    return static_cast<bool>(k.schedule.linkPosition);
}

} // namespace imrestore
