// The libFuzzer entry of one plug-in (IMRESTORE_FUZZ_FUNCTION names it).
// A finding aborts, so that libFuzzer keeps the input.
#include "fuzz_calls.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64)
        return -1;   // longer inputs describe nothing more
    if (!imrestore::fuzz::fuzzOne(IMRESTORE_FUZZ_FUNCTION, data, size, 1.0))
        std::abort();
    return 0;
}
