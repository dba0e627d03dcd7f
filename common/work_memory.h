// Heap memory for large work arrays.
#pragma once

#include <cstddef>

namespace imrestore {

// Allocates `bytes` of uninitialised memory, or returns null. Blocks of 1 MiB
// and more are rounded up to whole 2 MiB pages and, on Linux, offered huge
// pages, so that first touching them costs a few page faults, not hundreds.
//
// Large blocks are kept when released (at most kKeptBlocks blocks and
// kKeptBytes in all, the oldest given back first) and handed out again for
// requests they fit without wasting more than half, so that a loop of short
// calls does not zero fresh pages in every call. Thread-safe.
void* allocateWorkMemory(std::size_t bytes);

// Releases memory from allocateWorkMemory (null is ignored).
void releaseWorkMemory(void* memory);

// Gives every kept block back to the system (the gateways register it with
// the host, which calls it when it clears the module).
void releaseKeptWorkMemory();

// The bytes kept now, for tests.
std::size_t keptWorkMemoryBytes();

constexpr int kKeptBlocks = 8;
constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

} // namespace imrestore
