// Ctrl-C during a long call. The host's thread asks whether the user has
// pressed it (through a StopCheck handed to the computation) and, once the
// computation has released everything, ends the call the host's own way:
//   GNU Octave  reads its interrupt flag and unwinds to the prompt as at any
//               Ctrl-C (nothing printed, no error);
//   MATLAB      reads utIsInterruptPending and raises
//               imrestore:<function>:interrupted;
//   stand-in    answers as its test asks, and raises that error too.
#pragma once

#include "host/gateway.h"
#include "common/stop_check.h"

#if defined(IMRESTORE_STANDIN_HOST)
inline bool hostInterruptPending() { return standinInterruptPending(); }
#elif defined(HAVE_OCTAVE)
#include <octave/octave-config.h>
#include <octave/quit.h>
inline bool hostInterruptPending() { return octave_interrupt_state > 0; }
#else
// MATLAB's own query (libut), which every MATLAB release since 2008 has.
extern "C" bool utIsInterruptPending(void);
inline bool hostInterruptPending() { return utIsInterruptPending(); }
#endif

// A StopCheck that asks the host; polled on the host's thread only.
class HostStopCheck : public imrestore::StopCheck {
public:
    HostStopCheck() : imrestore::StopCheck([](void*) { return hostInterruptPending(); }, nullptr) {}
};

// Ends an interrupted call. The caller has released its work memory and
// threads; result arrays not yet stored are reclaimed by the host.
[[noreturn]] inline void endInterruptedCall(const char* function)
{
#if defined(HAVE_OCTAVE) && !defined(IMRESTORE_STANDIN_HOST)
    (void)function;   // Octave ends the command as at any Ctrl-C
    octave_quit();
    throw octave::interrupt_exception();
#else
    raiseError(function, Reason::interrupted, "%s was interrupted.", function);
#endif
}
