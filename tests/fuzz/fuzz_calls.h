// Fuzzing the plug-ins through the stand-in host: input bytes become a
// near-valid argument list (a valid call of the function with one to three
// mutations), the call runs as a host would make it, and what it did is
// judged. The libFuzzer entry and the plain seeded loop share this core.
#pragma once

#include "standin.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imrestore {
namespace fuzz {

// The plug-ins, as the drivers name them.
const std::vector<std::string>& functionNames();

// One argument list and the number of results asked for.
struct Call {
    std::vector<standin::Array> args;
    int nlhs = 1;
    bool small = true;   // every array of the valid call is at most 40x40
    std::string description;   // the valid call and the mutations, for reports
};

// The call that `size` bytes at `data` describe for `function` (no bytes:
// the valid call itself). Every input gives some call.
Call makeCall(const std::string& function, const std::uint8_t* data, std::size_t size);

// What the host saw and how long the call took.
struct Outcome {
    standin::CallResult result;
    double seconds = 0;
};

Outcome runCall(const std::string& function, const Call& call);

// Empty when the call behaved, else what was wrong: an argument written, a
// result slot past those offered written, a host call from a worker thread,
// an error whose identifier is not imrestore:<function>:..., a result of the
// wrong class or size, or a small call that took longer than `timeLimit`.
std::string judge(const std::string& function, const Call& call, const Outcome& outcome, double timeLimit);

// makeCall, runCall and judge; prints a finding with its call and returns
// false.
bool fuzzOne(const std::string& function, const std::uint8_t* data, std::size_t size, double timeLimit);

} // namespace fuzz
} // namespace imrestore
