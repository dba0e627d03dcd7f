// How many threads the plug-ins use for work that can be shared.
#pragma once

#include <cstdlib>
#include <thread>

// The machine's cores, or the positive count in the IMRESTORE_THREADS
// environment variable when it is set.
inline int workerThreadCount()
{
    if (const char* text = std::getenv("IMRESTORE_THREADS")) {
        char* end = nullptr;
        const long count = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && count >= 1 && count <= 1024)
            return static_cast<int>(count);
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores >= 1 ? static_cast<int>(cores) : 1;
}

// The threads for `work` units when each thread needs at least `perThread`
// of them to gain more than it costs to start and to wait for: a tiny image
// runs on the caller's thread alone. Results never depend on the count.
inline int workerThreadCountFor(double work, double perThread)
{
    const int cores = workerThreadCount();
    const double useful = work / perThread;
    return useful >= cores ? cores : useful >= 2 ? static_cast<int>(useful) : 1;
}

// Pixels (or samples) per thread from which a second thread pays off in a
// pass over an image.
constexpr double kPixelsPerThread = 65536;
