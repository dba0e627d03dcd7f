// Heap memory for large work arrays.
#pragma once

#include <cstddef>

namespace imrestore {

// Allocates `bytes` of uninitialised memory, or returns null. Blocks of 1 MiB
// and more are rounded up to whole 2 MiB pages and, on Linux, offered huge
// pages, so that first touching them costs a few page faults, not hundreds.
void* allocateWorkMemory(std::size_t bytes);

// Releases memory from allocateWorkMemory (null is ignored).
void releaseWorkMemory(void* memory);

} // namespace imrestore
