// large_pages_win32.cpp: Win32 half of the large blocks. Large pages on
// Windows need a privilege that the programs do not hold, so a block is
// committed memory of its own.
#include "common/platform/large_pages.h"

#include <windows.h>

void* allocateLargeBlock(size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseLargeBlock(void* block, size_t) {
  if (block)
    VirtualFree(block, 0, MEM_RELEASE);
}
