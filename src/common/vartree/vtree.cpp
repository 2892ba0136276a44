// vtree.cpp: the variable tree's groups and values, their lookup by dotted
// path, and their release.
#include "common/vartree/vtree.h"

#include "common/check.h"
#include "common/vartree/vtree_arena.h"
#include "common/vartree/vtree_name_index.h"
#include "common/vartree/vtree_reader_internal.h"

#include <stdlib.h>
#include <string.h>

#include <atomic>

/// What vtNodeAddValue keeps beside a large group: the index of its names,
/// and the ends of the value list as they were at the last addition, which
/// tell whether the list was changed by hand since.
struct VtGroupIndex {
  VtNameIndex names;
  VtValue* first;
  VtValue* last;
};

namespace {

std::atomic<unsigned long> nameComparisons{0};

bool sameName(const char* a, const char* b) {
  vtCountNameComparisons(1);
  return strcmp(a, b) == 0;
}

// Groups with this many values get an index of their names.
constexpr int kIndexThreshold = 16;

} // namespace

void vtCountNameComparisons(unsigned long count) {
  // Only this thread's own additions matter to a reader of the count; no
  // read-modify-write is needed to keep the count whole for it.
  nameComparisons.store(nameComparisons.load(std::memory_order_relaxed) + count,
                        std::memory_order_relaxed);
}

unsigned long vtNameComparisons() {
  return nameComparisons.load(std::memory_order_relaxed);
}

// --- Construction helpers --------------------------------------------------

char* vtCopyString(const char* text) {
  if (!text)
    return nullptr;
  size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (copy)
    memcpy(copy, text, size);
  return copy;
}

char16_t* vtCopyWString(const char16_t* text) {
  if (!text)
    return nullptr;
  size_t units = 0;
  while (text[units])
    ++units;
  char16_t* copy =
      static_cast<char16_t*>(malloc((units + 1) * sizeof(char16_t)));
  if (copy)
    memcpy(copy, text, (units + 1) * sizeof(char16_t));
  return copy;
}

unsigned char* vtCopyData(const unsigned char* bytes, int32_t length) {
  if (!bytes)
    return nullptr;
  size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  // malloc(0) may give null; one byte keeps a copy of an empty block non-null.
  unsigned char* copy = static_cast<unsigned char*>(malloc(size ? size : 1));
  if (copy && size)
    memcpy(copy, bytes, size);
  return copy;
}

VtValue* vtMakeValue(const char* name, size_t nameLength, VtKind kind,
                     size_t extra) {
  void* block = malloc(sizeof(VtValue) + nameLength + 1 + extra);
  return block ? vtPlaceValue(block, name, nameLength, kind) : nullptr;
}

VtValue* vtPlaceValue(void* block, const char* name, size_t nameLength,
                      VtKind kind) {
  VtValue* value = static_cast<VtValue*>(block);
  char* inlineName = reinterpret_cast<char*>(value + 1);
  memcpy(inlineName, name, nameLength);
  inlineName[nameLength] = 0;
  value->name = inlineName;
  value->kind = kind;
  value->next = nullptr;
  memset(&value->payload, 0, sizeof value->payload);
  value->length = 0;
  value->storage = kVtInlineName;
  return value;
}

VtValue* vtNewValue(const char* name, VtKind kind) {
  ENABLER_ASSERT(name != 0, "vtree");
  return vtMakeValue(name, strlen(name), kind, 0);
}

VtNode* vtNewNode(const char* name) {
  ENABLER_ASSERT(name != 0, "vtree");
  size_t length = strlen(name);
  void* block = malloc(sizeof(VtNode) + length + 1);
  return block ? vtPlaceNode(block, name, length) : nullptr;
}

VtNode* vtPlaceNode(void* block, const char* name, size_t nameLength) {
  VtNode* group = static_cast<VtNode*>(block);
  char* inlineName = reinterpret_cast<char*>(group + 1);
  memcpy(inlineName, name, nameLength);
  inlineName[nameLength] = 0;
  group->name = inlineName;
  group->next = nullptr;
  group->values = nullptr;
  group->children = nullptr;
  group->storage = kVtInlineName;
  group->index = nullptr;
  return group;
}

void vtFreeValue(VtValue* value) {
  if (!value)
    return;
  if (!(value->storage & kVtInlinePayload)) {
    switch (value->kind) {
    case VtString:
      free(value->payload.s);
      break;
    case VtWString:
      free(value->payload.u);
      break;
    case VtData:
      free(value->payload.d);
      break;
    case VtInt:
    case VtReal:
      break;
    }
  }
  if (!(value->storage & kVtInlineName))
    free(value->name);
  if (!(value->storage & kVtInArena))
    free(value);
}

namespace {

void dropIndex(VtNode* group) {
  if (!group->index)
    return;
  vtNameIndexRelease(&group->index->names, vtSystemMemory());
  free(group->index);
  group->index = nullptr;
}

void freeValueList(VtValue* value) {
  while (value) {
    VtValue* next = value->next;
    vtFreeValue(value);
    value = next;
  }
}

// Releases `first` and every sibling behind it, each with its subtree. The
// work list is threaded through the next-sibling links of the groups still
// to be released, so neither long sibling lists nor deep trees recurse.
void freeNodeList(VtNode* first) {
  VtNode* pending = first;
  while (pending) {
    VtNode* group = pending;
    pending = group->next;
    if (group->children) {
      VtNode* last = group->children;
      while (last->next)
        last = last->next;
      last->next = pending;
      pending = group->children;
    }
    freeValueList(group->values);
    dropIndex(group);
    if (!(group->storage & kVtInlineName))
      free(group->name);
    if (!(group->storage & kVtInArena))
      free(group);
  }
}

} // namespace

void vtFreeNode(VtNode* group) {
  if (!group)
    return;
  group->next = nullptr;
  freeNodeList(group);
}

void vtFreeNodeList(VtNode* first) {
  freeNodeList(first);
}

void vtFreeDocument(VtDocument* document) {
  if (!document)
    return;
  // Records that a caller added to a read document have blocks of their own;
  // the walk releases those and leaves the reader's to their arena.
  freeNodeList(document->root);
  if (document->arena) {
    vtArenaRelease(document->arena);
    return;
  }
  free(document->text);
  free(document);
}

// --- Group level -------------------------------------------------------------

VtValue* vtNodeFindValue(const VtNode* group, const char* name) {
  ENABLER_ASSERT(name != 0, "vtree");
  if (!group)
    return nullptr;
  for (VtValue* value = group->values; value; value = value->next) {
    if (sameName(value->name, name))
      return value;
  }
  return nullptr;
}

VtNode* vtNodeFindChild(const VtNode* group, const char* name, int index) {
  ENABLER_ASSERT(name != 0, "vtree");
  if (!group)
    return nullptr;
  int seen = 0;
  for (VtNode* child = group->children; child; child = child->next) {
    if (strcmp(child->name, name) != 0)
      continue;
    if (seen == index)
      return child;
    ++seen;
  }
  return nullptr;
}

VtValue* vtNodeFindPath(const VtNode* group, const char* path,
                        const char* name) {
  ENABLER_ASSERT(name != 0, "vtree");
  const VtNode* current = group;
  if (path) {
    char* copy = vtCopyString(path);
    if (!copy)
      return nullptr;
    char* rest = copy;
    while (*rest && current) {
      char* component = rest;
      char* dot = strchr(rest, '.');
      if (dot) {
        *dot = 0;
        rest = dot + 1;
      } else {
        rest += strlen(rest);
      }
      current = vtNodeFindChild(current, component, 0);
    }
    free(copy);
  }
  return current ? vtNodeFindValue(current, name) : nullptr;
}

namespace {

// Appends through the index; false when the name is there. The index is
// dropped when memory for it runs out, and the caller walks instead.
bool addIndexed(VtNode* group, VtValue* v, bool* added) {
  VtGroupIndex* index = group->index;
  uint32_t hash = vtHashName(v->name);
  if (vtNameIndexFind(&index->names, v->name, hash)) {
    *added = false;
    return true;
  }
  if (!vtNameIndexReserve(&index->names, vtSystemMemory(), group->values)) {
    dropIndex(group);
    return false;
  }
  v->next = nullptr;
  index->last->next = v;
  index->last = v;
  vtNameIndexPut(&index->names, v, hash);
  *added = true;
  return true;
}

// Gives a group that has grown large an index of its names; without memory
// for one it goes on without.
void startIndex(VtNode* group, VtValue* last) {
  VtGroupIndex* index =
      static_cast<VtGroupIndex*>(calloc(1, sizeof(VtGroupIndex)));
  if (!index)
    return;
  if (!vtNameIndexReserve(&index->names, vtSystemMemory(), group->values)) {
    free(index);
    return;
  }
  index->first = group->values;
  index->last = last;
  group->index = index;
}

} // namespace

bool vtNodeAddValue(VtNode* group, VtValue* v) {
  ENABLER_ASSERT(v != 0, "vtree");
  ENABLER_ASSERT(v->name != 0, "vtree");
  ENABLER_ASSERT(group != 0, "vtree");
  // An index whose list ends moved was passed by: values changed by hand.
  if (VtGroupIndex* index = group->index) {
    if (index->first != group->values || index->last->next)
      dropIndex(group);
  }
  bool added;
  if (group->index && addIndexed(group, v, &added))
    return added;
  if (!group->values) {
    v->next = nullptr;
    group->values = v;
    return true;
  }
  VtValue* last = group->values;
  int count = 1;
  for (;;) {
    if (sameName(last->name, v->name))
      return false;
    if (!last->next)
      break;
    last = last->next;
    ++count;
  }
  v->next = nullptr;
  last->next = v;
  if (count + 1 >= kIndexThreshold)
    startIndex(group, v);
  return true;
}

bool vtNodeAddChild(VtNode* group, VtNode* n) {
  ENABLER_ASSERT(n != 0, "vtree");
  ENABLER_ASSERT(n->name != 0, "vtree");
  ENABLER_ASSERT(group != 0, "vtree");
  n->next = nullptr;
  if (!group->children) {
    group->children = n;
    return true;
  }
  VtNode* last = group->children;
  while (last->next)
    last = last->next;
  last->next = n;
  return true;
}

// --- Value and document level ---------------------------------------------

int32_t vtValueInt(const VtValue* value, int32_t dflt) {
  if (!value || value->kind != VtInt)
    return dflt;
  return value->payload.i;
}

const char* vtValueString(const VtValue* value, const char* dflt) {
  if (!value || value->kind != VtString)
    return dflt;
  return value->payload.s;
}

VtValue* vtFindValue(const VtDocument* document, const char* path,
                     const char* name) {
  if (!document || !document->root)
    return nullptr;
  return vtNodeFindPath(document->root, path, name);
}

int32_t vtGetInt(const VtDocument* document, const char* path, const char* name,
                 int32_t dflt) {
  return vtValueInt(vtFindValue(document, path, name), dflt);
}

const char* vtGetString(const VtDocument* document, const char* path,
                        const char* name, const char* dflt) {
  return vtValueString(vtFindValue(document, path, name), dflt);
}
