// Creating the results a plug-in fills itself.
//
// A large result is first touched where the plug-in writes it. Offered huge
// pages before that, a fresh 32 MiB result costs 16 page faults instead of
// 8192 (on virtual machines where a fault costs 10 µs, 80 ms of the call).
#pragma once

#include "common/huge_pages.h"
#include "host/mexhost.h"

#include <cstring>

// A real numeric array whose every element the caller writes: the host does
// not zero it first.
inline mxArray* createFilledResult(mwSize ndims, const mwSize* dims, mxClassID classId)
{
    mxArray* result = mxCreateUninitNumericArray(ndims, dims, classId, mxREAL);
    imrestore::adviseHugePages(mxGetData(result), mxGetNumberOfElements(result) * mxGetElementSize(result));
    return result;
}

// A real numeric array of zeros.
inline mxArray* createZeroResult(mwSize ndims, const mwSize* dims, mxClassID classId)
{
    mxArray* result = createFilledResult(ndims, dims, classId);
    const size_t bytes = mxGetNumberOfElements(result) * mxGetElementSize(result);
    if (bytes > 0)
        std::memset(mxGetData(result), 0, bytes);
    return result;
}

// Host memory (mxMalloc) that the caller fills before handing it to a result;
// null when the host has none.
inline void* allocateFilledHostMemory(size_t bytes)
{
    void* memory = mxMalloc(bytes);
    imrestore::adviseHugePages(memory, bytes);
    return memory;
}
