// vtree_arena.h: the blocks in which the reader keeps a document: records
// are carved from them one behind the other and released all at once with
// the document, instead of one block from the system per group and value.
#ifndef ENABLER_VARTREE_VTREE_ARENA_H
#define ENABLER_VARTREE_VTREE_ARENA_H

#include "common/vartree/vtree.h"

#include <stddef.h>

/// The system's memory: malloc and free.
VtMemory* vtSystemMemory();

struct VtArenaBlock;

struct VtArena {
  VtMemory* memory;
  VtArenaBlock* blocks; ///< the newest first
  char* next;           ///< free room of the newest block
  char* end;
  size_t nextBlockSize;
};

/// Where an arena stood, to go back to it.
struct VtArenaMark {
  VtArenaBlock* blocks;
  char* next;
};

enum : size_t { kVtArenaAlignment = 8 };

inline size_t vtArenaRound(size_t size) {
  return (size + kVtArenaAlignment - 1) & ~size_t(kVtArenaAlignment - 1);
}

/// A new document with its arena, both in the arena's first block, with
/// status -1 and no text or root; null when memory ran out.
VtDocument* vtNewArenaDocument(VtMemory* memory);

/// Takes a new block that holds at least `size` bytes; null when memory ran
/// out.
void* vtArenaGrow(VtArena* arena, size_t size);

/// `size` bytes (rounded up to the alignment), or null when memory ran out.
inline void* vtArenaAllocate(VtArena* arena, size_t size) {
  size = vtArenaRound(size);
  if (size_t(arena->end - arena->next) >= size) {
    void* at = arena->next;
    arena->next += size;
    return at;
  }
  return vtArenaGrow(arena, size);
}

/// Gives back the last `size` bytes allocated, when `at` is where they begin.
inline void vtArenaGiveBack(VtArena* arena, void* at, size_t size) {
  if (static_cast<char*>(at) + vtArenaRound(size) == arena->next)
    arena->next = static_cast<char*>(at);
}

inline VtArenaMark vtArenaMark(const VtArena* arena) {
  return VtArenaMark{arena->blocks, arena->next};
}

/// Releases everything allocated since `mark`.
void vtArenaRollBack(VtArena* arena, VtArenaMark mark);

/// Releases every block; the arena itself lies in the first and goes too.
void vtArenaRelease(VtArena* arena);

#endif
