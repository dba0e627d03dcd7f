#include "common/work_memory.h"

#include <cstdlib>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imrestore {

namespace {

constexpr std::size_t kHugePage = std::size_t{1} << 21;
constexpr std::size_t kLargeBlock = kHugePage / 2;
// Every block carries its usable size in a header of this many bytes, which
// keeps the data aligned for any vector load.
constexpr std::size_t kHeader = 64;

struct KeptBlock {
    void* start;           // as allocated
    std::size_t capacity;  // usable bytes after the header
};

struct Kept {
    std::mutex lock;
    KeptBlock blocks[kKeptBlocks] = {};   // oldest first
    int count = 0;
    std::size_t bytes = 0;

    void remove(int n)
    {
        bytes -= blocks[n].capacity;
        for (int m = n; m + 1 < count; ++m)
            blocks[m] = blocks[m + 1];
        --count;
    }
};

Kept& kept()
{
    static Kept instance;
    return instance;
}

std::size_t& capacityOf(void* data) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(data) - kHeader); }

void* newLargeBlock(std::size_t bytes)
{
    const std::size_t total = (bytes + kHeader + kHugePage - 1) / kHugePage * kHugePage;
    if (total < bytes)
        return nullptr;
    void* start = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (posix_memalign(&start, kHugePage, total) != 0)
        return nullptr;
    madvise(start, total, MADV_HUGEPAGE);   // only a hint: failure leaves ordinary pages
#else
    start = std::malloc(total);
    if (!start)
        return nullptr;
#endif
    void* data = static_cast<char*>(start) + kHeader;
    capacityOf(data) = total - kHeader;
    return data;
}

} // namespace

void* allocateWorkMemory(std::size_t bytes)
{
    if (bytes < kLargeBlock) {
        void* start = std::malloc(kHeader + bytes);
        if (!start)
            return nullptr;
        void* data = static_cast<char*>(start) + kHeader;
        capacityOf(data) = bytes;
        return data;
    }
    {
        Kept& k = kept();
        std::lock_guard<std::mutex> guard(k.lock);
        int best = -1;
        for (int n = 0; n < k.count; ++n) {
            const std::size_t capacity = k.blocks[n].capacity;
            if (capacity >= bytes && capacity - bytes <= bytes && (best < 0 || capacity < k.blocks[best].capacity))
                best = n;
        }
        if (best >= 0) {
            void* data = static_cast<char*>(k.blocks[best].start) + kHeader;
            k.remove(best);
            return data;
        }
    }
    return newLargeBlock(bytes);
}

void releaseWorkMemory(void* memory)
{
    if (!memory)
        return;
    void* start = static_cast<char*>(memory) - kHeader;
    const std::size_t capacity = capacityOf(memory);
    if (capacity >= kLargeBlock && capacity <= kKeptBytes) {
        Kept& k = kept();
        std::lock_guard<std::mutex> guard(k.lock);
        while (k.count > 0 && (k.count == kKeptBlocks || k.bytes + capacity > kKeptBytes)) {
            std::free(k.blocks[0].start);
            k.remove(0);
        }
        k.blocks[k.count++] = {start, capacity};
        k.bytes += capacity;
        return;
    }
    std::free(start);
}

void releaseKeptWorkMemory()
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    while (k.count > 0) {
        std::free(k.blocks[0].start);
        k.remove(0);
    }
}

std::size_t keptWorkMemoryBytes()
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    return k.bytes;
}

} // namespace imrestore
