// Independent tasks of uneven length over a few threads.
#pragma once

#include "common/stop_check.h"

#include <cstddef>
#include <functional>

namespace imrestore {

// Runs task(t, stop) once for every t in [0, count), each on whichever of
// `threads` threads (the caller's among them) is free next, and returns when
// all are done. The stop check a task receives may be polled on its own
// thread: on the caller's thread it is `stop`, elsewhere one that follows
// `stop`; once every task has been taken, the caller's thread polls `stop`
// while it waits. Results must not depend on which thread ran a task; when
// the system refuses threads, the caller runs the tasks itself.
void runTasks(std::ptrdiff_t count, int threads, StopCheck* stop,
              const std::function<void(std::ptrdiff_t task, StopCheck* stop)>& task);

} // namespace imrestore
