// vtree_name_index.h: an index of the value names of one group, so that the
// check for a name already there does not walk the group: the reader keeps
// one for each open group, vtNodeAddValue one for each large group.
#ifndef ENABLER_VARTREE_VTREE_NAME_INDEX_H
#define ENABLER_VARTREE_VTREE_NAME_INDEX_H

#include "common/vartree/vtree.h"

#include <stdint.h>

/// An entry: the value, and the hash of its name, so that neither a probe
/// nor a growth has to fetch names that cannot match.
struct VtNameSlot {
  VtValue* value;
  uint32_t hash;
};

/// Open addressing, at most half full; all zero while there is no index.
struct VtNameIndex {
  VtNameSlot* slots;
  uint32_t mask; ///< slots - 1
  uint32_t count;
};

uint32_t vtHashName(const char* name);

/// The value named `name` (of hash `hash`) in the index, or null.
VtValue* vtNameIndexFind(const VtNameIndex* index, const char* name,
                         uint32_t hash);

/// Makes room for one more name. An index without slots is built from the
/// value list at `values`. False, the index as it was, when memory ran out.
bool vtNameIndexReserve(VtNameIndex* index, VtMemory* memory, VtValue* values);

/// Adds a value whose name is not in the index yet; room was reserved.
void vtNameIndexPut(VtNameIndex* index, VtValue* value, uint32_t hash);

/// Releases the slots; the index is then empty.
void vtNameIndexRelease(VtNameIndex* index, VtMemory* memory);

#endif
