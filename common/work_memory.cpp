#include "common/work_memory.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imrestore {

namespace {
constexpr std::size_t kHugePage = std::size_t{1} << 21;
}

void* allocateWorkMemory(std::size_t bytes)
{
    if (bytes == 0)
        bytes = 1;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kHugePage / 2) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* memory = nullptr;
        if (rounded < bytes || posix_memalign(&memory, kHugePage, rounded) != 0)
            return nullptr;
        madvise(memory, rounded, MADV_HUGEPAGE);   // only a hint: failure leaves ordinary pages
        return memory;
    }
#endif
    return std::malloc(bytes);
}

void releaseWorkMemory(void* memory) { std::free(memory); }

} // namespace imrestore
