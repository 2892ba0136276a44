// vtree_reader.cpp: the reader of the variable tree's text form: the status
// line, and the body of nested groups and values.
#include "common/check.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree_arena.h"
#include "common/vartree/vtree_name_index.h"
#include "common/vartree/vtree_reader_internal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool isLetterByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// --- Groups being read ----------------------------------------------------

// Groups with many values get an index of their value names while they are
// open, so that the duplicate check of each new value does not walk them all.
constexpr int kIndexThreshold = 16;

// Where the records of a body go: each in a block of its own (no arena), or
// one behind the other in the document's arena. Name indexes come from
// `memory` either way.
struct Records {
  VtArena* arena;
  VtMemory* memory;
};

// One open group: where its lists end, and the index of its value names.
struct OpenGroup {
  VtNode* group;
  VtValue* lastValue;
  VtNode* lastChild;
  int valueCount;
  VtNameIndex names;
  VtArenaMark begun; // arena: where a top-level group's records begin
};

void openGroup(OpenGroup* open, VtNode* group) {
  open->group = group;
  open->lastValue = nullptr;
  open->lastChild = nullptr;
  open->valueCount = 0;
  open->names = VtNameIndex{nullptr, 0, 0};
  for (VtValue* v = group->values; v; v = v->next) {
    open->lastValue = v;
    ++open->valueCount;
  }
  for (VtNode* c = group->children; c; c = c->next)
    open->lastChild = c;
}

void closeGroup(OpenGroup* open, const Records& records) {
  vtNameIndexRelease(&open->names, records.memory);
}

bool hasValueNamed(const OpenGroup* open, const char* name, uint32_t hash) {
  if (open->names.slots)
    return vtNameIndexFind(&open->names, name, hash) != nullptr;
  // A small group: most names differ in their first byte already.
  for (VtValue* v = open->group->values; v; v = v->next) {
    if (v->name[0] == name[0] && strcmp(v->name, name) == 0)
      return true;
  }
  return false;
}

// Adds a value as vtNodeAddValue does: behind the last one, unless the group
// already has a value of that name. 1 when added, 0 when refused (the value
// stays with the caller), kVtNoMemory when the index could not grow: walking
// the names instead would make each value cost the group's size.
int addValue(OpenGroup* open, VtValue* value, const Records& records) {
  bool indexed = open->names.slots || open->valueCount + 1 >= kIndexThreshold;
  // Only an index needs the name's hash.
  uint32_t hash = indexed ? vtHashName(value->name) : 0;
  if (hasValueNamed(open, value->name, hash))
    return 0;
  if (indexed &&
      !vtNameIndexReserve(&open->names, records.memory, open->group->values))
    return kVtNoMemory;
  value->next = nullptr;
  if (open->lastValue)
    open->lastValue->next = value;
  else
    open->group->values = value;
  open->lastValue = value;
  ++open->valueCount;
  if (open->names.slots)
    vtNameIndexPut(&open->names, value, hash);
  return 1;
}

// Appends a closed group as vtNodeAddChild does, without walking the list.
void addChild(OpenGroup* open, VtNode* child) {
  ENABLER_ASSERT(child->name != 0, "vtree");
  child->next = nullptr;
  if (open->lastChild)
    open->lastChild->next = child;
  else
    open->group->children = child;
  open->lastChild = child;
}

// A record's block of `size` bytes, from the arena or of its own.
void* newRecord(const Records& records, size_t size) {
  if (records.arena)
    return vtArenaAllocate(records.arena, size);
  return malloc(size);
}

VtNode* newGroup(const Records& records, const char* name) {
  size_t length = strlen(name);
  void* block = newRecord(records, sizeof(VtNode) + length + 1);
  if (!block)
    return nullptr;
  VtNode* group = vtPlaceNode(block, name, length);
  if (records.arena)
    group->storage |= kVtInArena;
  return group;
}

// Releases a value that was just made and is not wanted: in an arena, the
// last `size` bytes it handed out.
void dropValue(const Records& records, VtValue* value, size_t size) {
  if (records.arena)
    vtArenaGiveBack(records.arena, value, size);
  else
    vtFreeValue(value);
}

// --- Body lines -------------------------------------------------------------

// Makes the value of a value line `line`, which begins with a letter; gives
// the value in `*made` and the size of its block in `*size`, or a result
// code.
int makeValue(char* line, const Records& records, VtValue** made,
              size_t* size) {
  *made = nullptr;
  VtValueLine parts;
  int code = vtSplitValueLine(line, &parts);
  if (code != kVtOk)
    return code;
  size_t bytes = vtPayloadBytes(parts);
  *size = sizeof(VtValue) + parts.nameLength + 1 + bytes;
  void* block = newRecord(records, *size);
  if (!block)
    return kVtNoMemory;
  VtValue* value = vtPlaceValue(block, line, parts.nameLength, parts.kind);
  if (records.arena)
    value->storage |= kVtInArena;
  vtFillPayload(value, parts, bytes);
  *made = value;
  return kVtOk;
}

// The groups open while a body is read: the given group at depth 0, then one
// entry for each group whose ")" has not come yet.
struct BodyState {
  Records records;
  OpenGroup open[kVtMaxOpenGroups + 1];
  int depth;
};

int readValueLine(char* line, BodyState* state) {
  const Records& records = state->records;
  VtValue* value;
  size_t size = 0;
  int code = makeValue(line, records, &value, &size);
  if (code != kVtOk)
    return code;
  // A document keeps no value outside every group: in an arena such a value
  // is given back at once, once its line has been checked.
  if (records.arena && state->depth == 0) {
    dropValue(records, value, size);
    return kVtOk;
  }
  int added = addValue(&state->open[state->depth], value, records);
  if (added != 1)
    dropValue(records, value, size);
  return added == kVtNoMemory ? kVtNoMemory : kVtOk;
}

int readBodyLine(char* line, BodyState* state) {
  char* p = vtSkipSpace(line);
  OpenGroup* current = &state->open[state->depth];
  switch (*p) {
  case '(': {
    if (state->depth == kVtMaxOpenGroups)
      return kVtTooDeep;
    VtArenaMark begun = {};
    if (state->records.arena)
      begun = vtArenaMark(state->records.arena);
    VtNode* group = newGroup(state->records, p + 1);
    if (!group)
      return kVtNoMemory;
    ++state->depth;
    openGroup(&state->open[state->depth], group);
    state->open[state->depth].begun = begun;
    return kVtOk;
  }
  case ')': {
    if (state->depth == 0)
      return kVtUnbalanced;
    closeGroup(current, state->records);
    --state->depth;
    addChild(&state->open[state->depth], current->group);
    return kVtOk;
  }
  case ';':
    return kVtOk;
  default:
    break;
  }
  if (!isLetterByte(*p))
    return kVtBadLine;
  return readValueLine(p, state);
}

// Reads body lines into `root`; see vtReadNodes. Groups still open at the
// end are released: each block of its own, or in an arena everything made
// since the outermost of them was opened, which is all of them.
int readBody(VtLineReader* reader, VtNode* root, const Records& records) {
  BodyState state;
  state.records = records;
  state.depth = 0;
  openGroup(&state.open[0], root);
  int code = kVtOk;
  while (char* line = vtNextLine(reader)) {
    code = readBodyLine(line, &state);
    if (code != kVtOk)
      break;
  }
  for (int depth = state.depth; depth > 0; --depth) {
    closeGroup(&state.open[depth], records);
    if (!records.arena)
      vtFreeNode(state.open[depth].group);
  }
  if (records.arena && state.depth > 0)
    vtArenaRollBack(records.arena, state.open[1].begun);
  closeGroup(&state.open[0], records);
  return code;
}

// The status line's fields; false when the line is not accepted.
bool parseStatusLine(const char* line, int32_t* status, int32_t* major,
                     int32_t* minor, const char** text) {
  *major = vtParseInt(line);
  *minor = -1;
  *status = -1;
  const char* p = vtSkipDigits(line);
  if (p[0] == '.' && vtIsDigit(p[1])) {
    *minor = vtParseInt(p + 1);
    p = vtSkipSpace(vtSkipDigits(p + 1));
  }
  if (vtIsDigit(*p)) {
    *status = vtParseInt(p);
    p = vtSkipSpace(vtSkipDigits(p));
  }
  *text = p;
  return p != line && *status >= 0 && *major >= 1 && *minor >= 0;
}

} // namespace

int vtReadNodes(VtLineReader* reader, VtNode* root) {
  ENABLER_ASSERT(root != 0, "vtree");
  ENABLER_ASSERT(reader != 0, "vtree");
  return readBody(reader, root, Records{nullptr, vtSystemMemory()});
}

VtNode* vtReadTree(VtLineReader* reader) {
  VtNode* top = vtNewNode("");
  if (!top)
    return nullptr;
  VtNode* root = nullptr;
  if (vtReadNodes(reader, top) == kVtOk) {
    root = top->children;
    top->children = nullptr;
  }
  // Values outside every group go with the unnamed group; after an error the
  // groups read so far go too.
  vtFreeNode(top);
  return root;
}

namespace {

void keepNoMemory(SystemError* error) {
  keepSystemError(error,
                  systemError("read the document", outOfMemoryErrorCode()));
}

// The body into the document's arena. On any error everything the body made
// goes; memory that ran out is kept as the reason.
void readDocumentBody(VtLineReader* reader, VtDocument* document,
                      VtMemory* memory, SystemError* error) {
  VtArena* arena = document->arena;
  VtArenaMark before = vtArenaMark(arena);
  Records records = {arena, memory};
  // The unnamed group that holds the top-level groups while they are read.
  VtNode* top = newGroup(records, "");
  int code = top ? readBody(reader, top, records) : kVtNoMemory;
  if (code == kVtOk) {
    document->root = top->children;
    return;
  }
  vtArenaRollBack(arena, before);
  if (code == kVtNoMemory)
    keepNoMemory(error);
}

} // namespace

VtDocument* vtReadDocument(ByteReader* stream) {
  return vtReadDocument(stream, nullptr);
}

VtDocument* vtReadDocument(ByteReader* stream, SystemError* error,
                           VtMemory* memory) {
  if (!memory)
    memory = vtSystemMemory();
  VtDocument* document = vtNewArenaDocument(memory);
  if (!document) {
    keepNoMemory(error);
    return nullptr;
  }
  if (!stream)
    return document;

  VtLineReader reader;
  vtInitLineReader(&reader, stream);
  char line[kVtStatusLineSize];
  do {
    if (!vtReadLine(&reader, line, sizeof line))
      return document;
  } while (line[0] == ';');

  int32_t status, major, minor;
  const char* rest;
  if (!parseStatusLine(line, &status, &major, &minor, &rest))
    return document;
  size_t textSize = strlen(rest) + 1;
  char* text = static_cast<char*>(vtArenaAllocate(document->arena, textSize));
  if (!text) {
    keepNoMemory(error);
    return document;
  }
  memcpy(text, rest, textSize);
  document->status = status;
  document->major = major;
  document->minor = minor;
  document->text = text;
  readDocumentBody(&reader, document, memory, error);
  return document;
}
