// The machine's physical memory, to refuse requests no machine of this size
// can meet before asking the host for them. Shared by the gateways and the
// stand-in host; POSIX and Windows each have their own query.
#pragma once

#include <limits>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#else
#include <unistd.h>
#endif

// Bytes of physical memory, or infinity when the system does not say.
inline double physicalMemoryBytes()
{
#if defined(_WIN32)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status))
        return static_cast<double>(status.ullTotalPhys);
#else
    const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0)
        return static_cast<double>(pages) * static_cast<double>(size);
#endif
    return std::numeric_limits<double>::infinity();
}
