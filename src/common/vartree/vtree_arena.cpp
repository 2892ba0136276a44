// vtree_arena.cpp: the blocks of a document that the reader makes, and the
// system's memory behind them.
#include "common/vartree/vtree_arena.h"

#include "common/platform/large_pages.h"

#include <stdlib.h>
#include <string.h>

namespace {

// A cpuid report of under 1 KiB fits the first block whole; a large document
// takes blocks that double up to 8 MiB, so the room left unused at the end is
// small beside what the document holds.
constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = size_t(8) << 20;

// A large block is filled whole with records soon: faulting its pages in one
// by one cost the reader a third of its time, so it gets large pages. Only
// the blocks of the largest size, which a document takes once it holds 8 MiB:
// a smaller one would keep whole 2 MiB pages resident for a few records.
constexpr size_t kLargePagesFrom = kLargestBlock;

class SystemMemory : public VtMemory {
public:
  void* allocate(size_t size) override {
    return size >= kLargePagesFrom ? allocateLargeBlock(size) : malloc(size);
  }
  void release(void* block, size_t size) override {
    if (size >= kLargePagesFrom)
      releaseLargeBlock(block, size);
    else
      free(block);
  }
};

// The document and its arena at the head of the first block.
struct ArenaDocument {
  VtDocument document;
  VtArena arena;
};

} // namespace

struct VtArenaBlock {
  VtArenaBlock* older;
  size_t size; // bytes behind this header
};

VtMemory* vtSystemMemory() {
  static SystemMemory memory;
  return &memory;
}

namespace {

VtArenaBlock* newBlock(VtMemory* memory, size_t size) {
  size_t header = vtArenaRound(sizeof(VtArenaBlock));
  if (size > size_t(-1) - header)
    return nullptr;
  VtArenaBlock* block =
      static_cast<VtArenaBlock*>(memory->allocate(header + size));
  if (block)
    block->size = size;
  return block;
}

size_t blockBytes(const VtArenaBlock* block) {
  return vtArenaRound(sizeof(VtArenaBlock)) + block->size;
}

char* blockData(VtArenaBlock* block) {
  return reinterpret_cast<char*>(block) + vtArenaRound(sizeof(VtArenaBlock));
}

} // namespace

VtDocument* vtNewArenaDocument(VtMemory* memory) {
  VtArenaBlock* first = newBlock(memory, kFirstBlock);
  if (!first)
    return nullptr;
  first->older = nullptr;
  ArenaDocument* head = reinterpret_cast<ArenaDocument*>(blockData(first));
  memset(&head->document, 0, sizeof head->document);
  head->document.status = -1;
  head->document.arena = &head->arena;
  VtArena* arena = &head->arena;
  arena->memory = memory;
  arena->blocks = first;
  arena->next = blockData(first) + vtArenaRound(sizeof(ArenaDocument));
  arena->end = blockData(first) + first->size;
  arena->nextBlockSize = 2 * kFirstBlock;
  return &head->document;
}

void* vtArenaGrow(VtArena* arena, size_t size) {
  size_t wanted = arena->nextBlockSize;
  if (wanted < size)
    wanted = size;
  VtArenaBlock* block = newBlock(arena->memory, wanted);
  if (!block)
    return nullptr;
  block->older = arena->blocks;
  arena->blocks = block;
  arena->next = blockData(block) + size;
  arena->end = blockData(block) + block->size;
  if (arena->nextBlockSize < kLargestBlock)
    arena->nextBlockSize *= 2;
  return blockData(block);
}

void vtArenaRollBack(VtArena* arena, VtArenaMark mark) {
  while (arena->blocks != mark.blocks) {
    VtArenaBlock* block = arena->blocks;
    arena->blocks = block->older;
    arena->memory->release(block, blockBytes(block));
  }
  arena->next = mark.next;
  arena->end = blockData(mark.blocks) + mark.blocks->size;
}

void vtArenaRelease(VtArena* arena) {
  // The arena lies in its oldest block: read everything before that goes.
  VtMemory* memory = arena->memory;
  VtArenaBlock* block = arena->blocks;
  while (block) {
    VtArenaBlock* older = block->older;
    memory->release(block, blockBytes(block));
    block = older;
  }
}
