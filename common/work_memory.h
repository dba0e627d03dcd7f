// Heap memory for large work arrays.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace imrestore {

// Allocates `bytes` of uninitialised memory, or returns null. Blocks of 1 MiB
// and more are rounded up to whole 2 MiB pages and, on Linux, mapped apart
// from the C library's heap (where they would sit among the host's arrays)
// and offered huge pages, so that first touching them costs a few page
// faults, not hundreds.
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

constexpr int kKeptBlocks = 32;
constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

// An array of `count` values of T in work memory (room for one when count is
// 0), released when it goes out of scope. Null when memory is short: test it
// with `if (!array)`. Moves, never copies.
template <class T>
class WorkArray {
public:
    WorkArray() = default;
    explicit WorkArray(std::size_t count)
        : data_(count <= SIZE_MAX / sizeof(T)
                    ? static_cast<T*>(allocateWorkMemory(std::max<std::size_t>(count, 1) * sizeof(T)))
                    : nullptr)
    {
    }
    // The array with every value set to `fill`.
    WorkArray(std::size_t count, T fill) : WorkArray(count)
    {
        if (data_)
            std::fill(data_, data_ + count, fill);
    }
    ~WorkArray() { releaseWorkMemory(data_); }

    WorkArray(WorkArray&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    WorkArray& operator=(WorkArray&& other) noexcept
    {
        std::swap(data_, other.data_);
        return *this;
    }
    WorkArray(const WorkArray&) = delete;
    WorkArray& operator=(const WorkArray&) = delete;

    T* get() const { return data_; }
    T& operator[](std::ptrdiff_t index) const { return data_[index]; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    T* data_ = nullptr;
};

} // namespace imrestore
