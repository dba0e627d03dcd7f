// The sweep layout kept from one call to the next.
//
// A loop of short graphshrink or graphsmooth calls over one graph (each call
// continuing the last) would otherwise lay the same graph out again in every
// call, at the cost of several sweeps. The last layout is kept, and a call
// whose graph it fits exactly (sweepScheduleFits) uses it as it is.
#pragma once

#include "nonlocal/sweep_schedule.h"

namespace imrestore {

// Whether the kept layout fits the graph (sweepScheduleFits), which also
// tells that every neighbour lies inside the image. A gateway asks before it
// checks the neighbours' range, which a graph that fits does not need.
bool keptSweepScheduleFits(const GraphInput& graph, int threads);

// What a solver's caller knows of the kept layout: nothing yet, or that
// keptSweepScheduleFits found it to fit this graph earlier in the same call.
enum class KeptLayout { unchecked, fits };

// The layout of one call: obtained from the kept one or built, and kept for
// the next call when it goes out of scope.
class ReusedSweepSchedule {
public:
    ReusedSweepSchedule() = default;
    ReusedSweepSchedule(const ReusedSweepSchedule&) = delete;
    ReusedSweepSchedule& operator=(const ReusedSweepSchedule&) = delete;
    ~ReusedSweepSchedule();

    // The kept layout if it fits the graph (compared unless `known` says it
    // fits), else a new one (the kept one is released first, so that its
    // memory serves the new one). False when memory is short.
    bool obtain(const GraphInput& graph, int threads, KeptLayout known = KeptLayout::unchecked);

    const SweepSchedule& get() const { return schedule_; }

private:
    SweepSchedule schedule_;
};

// Releases the kept layout (the gateways do when the host clears them).
void releaseKeptSweepSchedule();

// Whether a layout is kept, for tests.
bool sweepScheduleKept();

} // namespace imrestore
