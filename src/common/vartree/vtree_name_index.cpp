// vtree_name_index.cpp: the index of a group's value names.
#include "common/vartree/vtree_name_index.h"

#include "common/vartree/vtree_reader_internal.h"

#include <string.h>

uint32_t vtHashName(const char* name) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
       *p; ++p)
    hash = (hash ^ *p) * 16777619u;
  return hash;
}

VtValue* vtNameIndexFind(const VtNameIndex* index, const char* name,
                         uint32_t hash) {
  if (!index->slots)
    return nullptr;
  unsigned long compared = 0;
  VtValue* found = nullptr;
  for (uint32_t at = hash & index->mask; index->slots[at].value;
       at = (at + 1) & index->mask) {
    if (index->slots[at].hash != hash)
      continue;
    ++compared;
    if (strcmp(index->slots[at].value->name, name) == 0) {
      found = index->slots[at].value;
      break;
    }
  }
  if (compared)
    vtCountNameComparisons(compared);
  return found;
}

namespace {

void put(VtNameSlot* slots, uint32_t mask, VtValue* value, uint32_t hash) {
  uint32_t at = hash & mask;
  while (slots[at].value)
    at = (at + 1) & mask;
  slots[at].value = value;
  slots[at].hash = hash;
}

} // namespace

bool vtNameIndexReserve(VtNameIndex* index, VtMemory* memory, VtValue* values) {
  uint64_t count = index->count;
  if (!index->slots) {
    count = 0;
    for (VtValue* v = values; v; v = v->next)
      ++count;
  }
  uint64_t needed = 2 * (count + 1);
  if (index->slots && needed <= uint64_t(index->mask) + 1)
    return true;
  uint64_t size = 64;
  while (size < needed)
    size *= 2;
  if (size > (uint64_t(1) << 31) ||
      size > uint64_t(size_t(-1)) / sizeof(VtNameSlot))
    return false;
  size_t bytes = size_t(size) * sizeof(VtNameSlot);
  VtNameSlot* slots = static_cast<VtNameSlot*>(memory->allocate(bytes));
  if (!slots)
    return false;
  memset(slots, 0, bytes);
  uint32_t mask = uint32_t(size - 1);
  if (index->slots) {
    for (uint64_t at = 0; at <= index->mask; ++at) {
      if (index->slots[at].value)
        put(slots, mask, index->slots[at].value, index->slots[at].hash);
    }
    memory->release(index->slots,
                    (size_t(index->mask) + 1) * sizeof(VtNameSlot));
  } else {
    for (VtValue* v = values; v; v = v->next)
      put(slots, mask, v, vtHashName(v->name));
  }
  index->slots = slots;
  index->mask = mask;
  index->count = uint32_t(count);
  return true;
}

void vtNameIndexPut(VtNameIndex* index, VtValue* value, uint32_t hash) {
  put(index->slots, index->mask, value, hash);
  ++index->count;
}

void vtNameIndexRelease(VtNameIndex* index, VtMemory* memory) {
  if (index->slots)
    memory->release(index->slots,
                    (size_t(index->mask) + 1) * sizeof(VtNameSlot));
  index->slots = nullptr;
  index->mask = 0;
  index->count = 0;
}
