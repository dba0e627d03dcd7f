// Worker threads kept between calls for work split into independent ranges.
//
// Starting and joining a thread costs tens of microseconds (48 µs on a
// virtual machine here), and a plug-in splits its passes over an image
// between threads many times per call. The kept workers wait between
// passes, spinning briefly and then sleeping.
#pragma once

#include <cstddef>

namespace imrestore {

// Runs task(context, r) once for every r in [0, ranges), on the caller's
// thread and up to ranges − 1 kept workers, and returns when every range is
// done. Which thread runs which range varies; r itself does not. False,
// having run nothing, when the kept workers are serving another call (a
// nested or concurrent one): the caller then starts threads of its own.
// When the system refuses threads, the caller runs the ranges it could not
// hand out.
bool runOnKeptWorkers(std::ptrdiff_t ranges, void (*task)(void* context, std::ptrdiff_t range), void* context);

// Stops and joins the kept workers (the gateways register it with the host,
// which calls it when it clears the module, before unloading its code).
void releaseKeptWorkers();

// The workers kept now, for tests.
int keptWorkerCount();

} // namespace imrestore
