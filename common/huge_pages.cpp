#include "common/huge_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imrestore {

void adviseHugePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    if (!data || bytes < kHugePage || begin > UINTPTR_MAX - bytes)
        return;
    const std::uintptr_t first = (begin + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (begin + bytes) / kHugePage * kHugePage;
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);   // failure leaves ordinary pages
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace imrestore
