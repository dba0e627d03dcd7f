// Running a test once per vector path this processor has.
#pragma once

#include "simd/simd_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace imrestore {

// Calls body() with IMRESTORE_SIMD set to each path up to the best one, the
// path named in the failure messages, then restores the variable.
template <class Body>
void forEachSimdPath(Body body)
{
    const char* saved = std::getenv("IMRESTORE_SIMD");
    const std::string before = saved ? saved : "";
    for (SimdPath path : {SimdPath::none, SimdPath::avx2, SimdPath::avx512}) {
        if (path > bestSimdPath())
            break;
        setenv("IMRESTORE_SIMD", simdPathName(path), 1);
        SCOPED_TRACE(std::string("vector path ") + simdPathName(path));
        body();
    }
    if (saved)
        setenv("IMRESTORE_SIMD", before.c_str(), 1);
    else
        unsetenv("IMRESTORE_SIMD");
}

} // namespace imrestore
