#include "common/work_memory.h"
#include "common/huge_pages.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imrestore {

namespace {

constexpr std::size_t kLargeBlock = kHugePage / 2;
// Every block carries its usable size and the distance of its data from the
// start of the allocation in a header of this many bytes, which keeps the
// data aligned for any vector load.
constexpr std::size_t kHeader = 64;
// Large blocks start on huge-page boundaries. Were their data all at the
// same offset, arrays read side by side (the fields of one sweep) would fall
// into the same cache sets and evict one another; so successive blocks start
// their data kColourStep bytes further on, in kColours steps.
constexpr std::size_t kColours = 16;
constexpr std::size_t kColourStep = 4096 + 64;

struct KeptBlock {
    void* data;
    std::size_t capacity;  // usable bytes from data on
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

std::size_t* headerOf(void* data) { return reinterpret_cast<std::size_t*>(static_cast<char*>(data) - kHeader); }
std::size_t& capacityOf(void* data) { return headerOf(data)[0]; }
void* startOf(void* data) { return static_cast<char*>(data) - headerOf(data)[1]; }

void* placeData(void* start, std::size_t lead, std::size_t capacity)
{
    void* data = static_cast<char*>(start) + lead;
    headerOf(data)[0] = capacity;
    headerOf(data)[1] = lead;
    return data;
}

// Gives a block back to the system: a large block's mapping, a small one's heap memory.
void freeBlock(void* data)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (capacityOf(data) >= kLargeBlock) {
        munmap(startOf(data), headerOf(data)[1] + capacityOf(data));
        return;
    }
#endif
    std::free(startOf(data));
}

void* newLargeBlock(std::size_t bytes)
{
    static std::atomic<unsigned> blocks{0};
    const std::size_t lead = kHeader + blocks++ % kColours * kColourStep;
    const std::size_t total = (bytes + lead + kHugePage - 1) / kHugePage * kHugePage;
    if (total < bytes)
        return nullptr;
    void* start = nullptr;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Mapped apart from the C library's heap, where a kept block would sit
    // among the host's arrays; one huge page more, to align the start.
    void* mapped = mmap(nullptr, total + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (address + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > address)
        munmap(mapped, aligned - address);
    if (aligned + total < address + total + kHugePage)
        munmap(reinterpret_cast<void*>(aligned + total), address + kHugePage - aligned);
    start = reinterpret_cast<void*>(aligned);
    adviseHugePages(start, total);
#else
    start = std::malloc(total);
    if (!start)
        return nullptr;
#endif
    return placeData(start, lead, total - lead);
}

} // namespace

void* allocateWorkMemory(std::size_t bytes)
{
    if (bytes < kLargeBlock) {
        void* start = std::malloc(kHeader + bytes);
        return start ? placeData(start, kHeader, bytes) : nullptr;
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
            void* data = k.blocks[best].data;
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
    const std::size_t capacity = capacityOf(memory);
    if (capacity >= kLargeBlock && capacity <= kKeptBytes) {
        Kept& k = kept();
        std::lock_guard<std::mutex> guard(k.lock);
        while (k.count > 0 && (k.count == kKeptBlocks || k.bytes + capacity > kKeptBytes)) {
            freeBlock(k.blocks[0].data);
            k.remove(0);
        }
        k.blocks[k.count++] = {memory, capacity};
        k.bytes += capacity;
        return;
    }
    freeBlock(memory);
}

void releaseKeptWorkMemory()
{
    Kept& k = kept();
    std::lock_guard<std::mutex> guard(k.lock);
    while (k.count > 0) {
        freeBlock(k.blocks[0].data);
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
