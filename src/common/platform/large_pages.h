// large_pages.h: blocks of memory that a program fills whole soon after
// taking them. No OS header here.
#ifndef ENABLER_PLATFORM_LARGE_PAGES_H
#define ENABLER_PLATFORM_LARGE_PAGES_H

#include <stddef.h>

/// A block of `size` bytes, zero-filled, aligned for any object, backed by
/// large pages where the system offers them without privileges (natively
/// Linux's transparent huge pages), so that filling it costs a fault per
/// 2 MiB instead of per 4 KiB. Null when memory ran out. Release it with
/// releaseLargeBlock and the same size.
void* allocateLargeBlock(size_t size);
void releaseLargeBlock(void* block, size_t size);

#endif
