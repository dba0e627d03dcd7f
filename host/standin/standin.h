// Test-side interface of the stand-in host: make argument arrays, load a
// plug-in module and call its mexFunction as a real host would.
#pragma once

#include "mex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace standin {

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

// A new zero-filled dense array.
Array makeArray(mxClassID classId, const std::vector<mwSize>& dims, mxComplexity complexity = mxREAL);

// A new real array of dims filled with values (column-major; count must match).
Array makeSingle(const std::vector<mwSize>& dims, const std::vector<float>& values);
Array makeDouble(const std::vector<mwSize>& dims, const std::vector<double>& values);
Array makeInt32(const std::vector<mwSize>& dims, const std::vector<std::int32_t>& values);
// A 1×n char array of the text.
Array makeString(const std::string& text);

// Copies of an array's real data, typed.
std::vector<float> singleData(const mxArray* array);
std::vector<double> doubleData(const mxArray* array);
std::vector<std::int32_t> int32Data(const mxArray* array);
std::vector<mwSize> dimensions(const mxArray* array);

// What one call of a plug-in did.
struct CallResult {
    bool failed = false;               // the plug-in raised an error
    std::string errorId;               // its identifier ("" from mexErrMsgTxt)
    std::string errorMessage;
    std::string output;                // everything printed with mexPrintf
    std::vector<Array> results;        // the max(nlhs, 1) result slots a real host offers
    bool wroteBeyondResultSlots = false;  // a slot past those was written (a real host's memory)
    bool argumentsWritten = false;     // some argument's data changed during the call
    bool hostCalledFromOtherThread = false;
    std::vector<std::string> warningIds;   // mexWarnMsgIdAndTxt identifiers, in order
    std::vector<std::string> warnings;     // and their messages
    long interruptPolls = 0;               // times the plug-in asked whether to stop
};

// A plug-in module loaded from a shared object exporting mexFunction.
class Plugin {
public:
    explicit Plugin(const std::string& path);   // throws std::runtime_error when it cannot be loaded
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // Calls the gateway with nlhs results asked for and the given arguments.
    // Memory from mxCalloc and arrays not stored in a result slot are released
    // when the call ends, as a real host does.
    CallResult call(int nlhs, const std::vector<const mxArray*>& args) const;

    // As call, with the user pressing Ctrl-C just before the plug-in's
    // poll number `poll` (counted from 1): that poll and every later one
    // report an interrupt.
    CallResult callInterrupted(long poll, int nlhs, const std::vector<const mxArray*>& args) const;

    // Calls what the plug-in registered with mexAtExit, as a host does when
    // it clears the module (the destructor does it too).
    void clear() const;

private:
    void* handle_;
    void (*gateway_)(int, mxArray**, int, const mxArray**);
    mutable void (*atExit_)(void) = nullptr;
};

} // namespace standin
