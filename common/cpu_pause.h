// The hint a spinning thread gives the processor between two looks.
#pragma once

namespace imrestore {

// Lets the core's other hardware thread run and saves power while a thread
// spins on a value another thread will set (a few tens of cycles).
inline void cpuPause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace imrestore
