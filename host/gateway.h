// Helpers shared by the gateways: argument tests and host errors with
// identifiers of the form imrestore:<function>:<reason>.
#pragma once

#include "common/work_memory.h"
#include "common/worker_pool.h"
#include "host/mexhost.h"
#include "host/physical_memory.h"

// The plug-ins are built with hidden symbols (the core's names stay inside
// each module); the gateway is the one symbol the host looks up.
#if defined(__GNUC__) && !defined(_WIN32)
extern "C" __attribute__((visibility("default"))) void mexFunction(int nlhs, mxArray* plhs[], int nrhs,
                                                                   const mxArray* prhs[]);
#endif

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Why a call is refused: the last part of its identifier. Listed once, so
// that a misspelt reason cannot invent an identifier.
enum class Reason {
    notEnoughInputs,
    tooManyInputs,
    notEnoughOutputs,
    tooManyOutputs,
    invalidArgument,     // an argument of the wrong class, shape or value
    inconsistentSizes,   // an array smaller than PARAMS says
    invalidSize,         // a dimension the wavelet levels do not divide
    noLevels,            // no wavelet level fits
    tooLarge,            // a result larger than the machine's memory
    outOfMemory,
    invalidImage,        // a denoiser's image: its class, shape or values
    invalidOption,       // a denoiser's option
    imageTooSmall,       // an image too small for a denoiser's patches
    interrupted,         // Ctrl-C
};

inline const char* reasonName(Reason reason)
{
    static const char* const names[] = {"notEnoughInputs", "tooManyInputs",     "notEnoughOutputs", "tooManyOutputs",
                                        "invalidArgument", "inconsistentSizes", "invalidSize",      "noLevels",
                                        "tooLarge",        "outOfMemory",       "invalidImage",     "invalidOption",
                                        "imageTooSmall",   "interrupted"};
    static_assert(sizeof names / sizeof names[0] == static_cast<int>(Reason::interrupted) + 1,
                  "one name per reason");
    return names[static_cast<int>(reason)];
}

// An identifier imrestore:<function>:<what> and its printf-style message.
struct HostMessage {
    char id[128];
    char text[512];

    HostMessage(const char* function, const char* what, const char* format, va_list args)
    {
        std::snprintf(id, sizeof id, "imrestore:%s:%s", function, what);
        std::vsnprintf(text, sizeof text, format, args);
    }
};

// Raises the host error imrestore:<function>:<reason> with a printf-style
// message. The host ends the call; control never comes back.
[[noreturn]] inline void raiseError(const char* function, Reason reason, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const HostMessage message(function, reasonName(reason), format, args);
    va_end(args);
    mexErrMsgIdAndTxt(message.id, "%s", message.text);
    std::abort();   // unreachable: the host does not return from an error
}

// Issues the host warning imrestore:<function>:<what> with a printf-style
// message; warning('off', id) silences it. The call goes on.
inline void warnAbout(const char* function, const char* what, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const HostMessage message(function, what, format, args);
    va_end(args);
    mexWarnMsgIdAndTxt(message.id, "%s", message.text);
}

// The value of a numeric argument of exactly one element (a complex one
// gives its real part); raises invalidArgument naming the argument otherwise.
inline double readNumericScalar(const char* function, const mxArray* argument, const char* name)
{
    if (!mxIsNumeric(argument) || mxGetNumberOfElements(argument) != 1)
        raiseError(function, Reason::invalidArgument, "%s must be a numeric scalar (it is a %lu by %lu %s array).", name,
                   static_cast<unsigned long>(mxGetM(argument)), static_cast<unsigned long>(mxGetN(argument)),
                   mxGetClassName(argument));
    return mxGetScalar(argument);
}

// The argument and result counts: notEnoughInputs, tooManyInputs or
// tooManyOutputs, each with the gateway's own message text.
inline void requireArgumentCounts(const char* function, int nrhs, int fewest, int most, const char* tooFew,
                                  const char* tooMany, int nlhs, int mostResults, const char* tooManyResults)
{
    if (nrhs < fewest)
        raiseError(function, Reason::notEnoughInputs, "%s", tooFew);
    if (nrhs > most)
        raiseError(function, Reason::tooManyInputs, "%s", tooMany);
    if (nlhs > mostResults)
        raiseError(function, Reason::tooManyOutputs, "%s", tooManyResults);
}

inline bool isRealSingle(const mxArray* array)
{
    return mxIsSingle(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

inline bool isRealInt32(const mxArray* array)
{
    return mxIsInt32(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

inline bool isRealFullDouble(const mxArray* array)
{
    return mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

// Truncates value toward zero into *result when it is finite and the integer
// fits 32 bits; returns false otherwise.
inline bool truncateToInt32(double value, std::int32_t* result)
{
    if (!std::isfinite(value))
        return false;
    const double whole = std::trunc(value);
    if (whole < -2147483648.0 || whole > 2147483647.0)
        return false;
    *result = static_cast<std::int32_t>(whole);
    return true;
}

// Stores the gateway's results in the host's result slots. The host offers
// max(nlhs, 1) slots (Octave allocates exactly that many; writing past them
// corrupts its heap), so results beyond those are released instead: every
// result is created and filled whatever nlhs says, and the caller receives
// the ones it asked for.
inline void storeResults(int nlhs, mxArray* plhs[], mxArray* const results[], int count)
{
    const int offered = nlhs > 1 ? nlhs : 1;
    for (int k = 0; k < count; ++k) {
        if (k < offered)
            plhs[k] = results[k];
        else
            mxDestroyArray(results[k]);
    }
}

// The verbose flag of the graph plug-ins: set when the value truncates to 1.
inline bool isVerboseFlag(float value) { return value >= 1.0f && value < 2.0f; }

// The core keeps worker threads and a few large work blocks between calls
// (common/worker_pool.h, common/work_memory.h); the host gives them back when
// it clears the module. Registered before anything can start a worker, so
// that no worker outlives the module's code.
inline void releaseKept()
{
    imrestore::releaseKeptWorkers();
    imrestore::releaseKeptWorkMemory();
}
inline void releaseKeptWhenCleared() { mexAtExit(releaseKept); }

// Raises tooLarge when a call needs `bytes` (results and work memory) beyond
// this machine's memory, before anything is asked of the host. `what` names
// the request and `remedy` says what needs less.
inline void requireMemoryFor(const char* function, double bytes, const char* what, const char* remedy)
{
    if (!(bytes <= physicalMemoryBytes()))
        raiseError(function, Reason::tooLarge, "%s needs %.3g GB, more than this machine's memory holds; %s.", what,
                   bytes / 1e9, remedy);
}
