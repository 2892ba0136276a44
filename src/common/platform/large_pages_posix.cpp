// large_pages_posix.cpp: POSIX half of the large blocks: a mapping of their
// own, aligned to a huge page and, where the system knows them, advised to
// be backed by transparent huge pages.
#include "common/platform/large_pages.h"

#include <stdint.h>
#include <sys/mman.h>

namespace {

const size_t kHugePage = size_t(2) << 20;

// Whole huge pages: the block's end is then a page boundary that can be cut.
size_t wholePages(size_t size) {
  return (size + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

void* allocateLargeBlock(size_t size) {
  if (size == 0 || size > SIZE_MAX - 2 * kHugePage)
    return nullptr;
  size = wholePages(size);
  // Mapped with a huge page to spare, then cut to a huge page's alignment,
  // so that no part of the block falls back to small pages.
  size_t mapped = size + kHugePage;
  void* at = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED)
    return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(at);
  uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > start)
    munmap(at, aligned - start);
  size_t tail = mapped - (aligned - start) - size;
  if (tail > 0)
    munmap(reinterpret_cast<void*>(aligned + size), tail);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(aligned);
}

void releaseLargeBlock(void* block, size_t size) {
  if (block)
    munmap(block, wholePages(size));
}
