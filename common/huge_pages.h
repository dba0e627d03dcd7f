// Backing fresh memory with huge pages.
#pragma once

#include <cstddef>

namespace imrestore {

// Size of a huge page on the processors that have them (x86-64: 2 MiB).
constexpr std::size_t kHugePage = std::size_t{1} << 21;

// Asks the system to back the whole huge pages inside [data, data + bytes)
// with huge pages when they are first touched: one page fault instead of
// 512. Only a hint, for memory the caller is about to fill; it changes no
// content, and does nothing for blocks without a whole huge page or where
// the system has no such hint (anywhere but Linux).
void adviseHugePages(void* data, std::size_t bytes);

} // namespace imrestore
