// vtree_reader.cpp: the reader of the variable tree's text form: the status
// line, and the body of nested groups and values.
#include "common/check.h"
#include "common/process/child_process.h"
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

uint32_t hashName(const char* name) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
       *p; ++p)
    hash = (hash ^ *p) * 16777619u;
  return hash;
}

// An entry of a name index: the value, and the hash of its name, so that
// neither a probe nor a rehash has to fetch names that cannot match.
struct NameSlot {
  VtValue* value;
  uint32_t hash;
};

// One open group: where its lists end, and the index of its value names.
struct OpenGroup {
  VtNode* group;
  VtValue* lastValue;
  VtNode* lastChild;
  int valueCount;
  NameSlot* slots; // open addressing; null while there is no index
  uint32_t mask;   // slots - 1
  bool noIndex;    // memory for an index ran out: names are walked
};

void openGroup(OpenGroup* open, VtNode* group) {
  open->group = group;
  open->lastValue = nullptr;
  open->lastChild = nullptr;
  open->valueCount = 0;
  open->slots = nullptr;
  open->mask = 0;
  open->noIndex = false;
  for (VtValue* v = group->values; v; v = v->next) {
    open->lastValue = v;
    ++open->valueCount;
  }
  for (VtNode* c = group->children; c; c = c->next)
    open->lastChild = c;
}

void closeGroup(OpenGroup* open) {
  free(open->slots);
  open->slots = nullptr;
}

void indexPut(NameSlot* slots, uint32_t mask, VtValue* value, uint32_t hash) {
  uint32_t at = hash & mask;
  while (slots[at].value)
    at = (at + 1) & mask;
  slots[at].value = value;
  slots[at].hash = hash;
}

// Makes the index big enough for one more name, at most half full.
bool indexReserve(OpenGroup* open) {
  uint64_t needed = 2 * (uint64_t(open->valueCount) + 1);
  if (open->slots && needed <= uint64_t(open->mask) + 1)
    return true;
  uint64_t size = 64;
  while (size < needed)
    size *= 2;
  if (size > (uint64_t(1) << 31))
    return false;
  NameSlot* slots =
      static_cast<NameSlot*>(calloc(size_t(size), sizeof(NameSlot)));
  if (!slots)
    return false;
  uint32_t mask = uint32_t(size - 1);
  if (open->slots) {
    for (uint64_t at = 0; at <= open->mask; ++at) {
      if (open->slots[at].value)
        indexPut(slots, mask, open->slots[at].value, open->slots[at].hash);
    }
  } else {
    for (VtValue* v = open->group->values; v; v = v->next)
      indexPut(slots, mask, v, hashName(v->name));
  }
  free(open->slots);
  open->slots = slots;
  open->mask = mask;
  return true;
}

bool hasValueNamed(const OpenGroup* open, const char* name, uint32_t hash) {
  if (open->slots) {
    for (uint32_t at = hash & open->mask; open->slots[at].value;
         at = (at + 1) & open->mask) {
      if (open->slots[at].hash == hash &&
          strcmp(open->slots[at].value->name, name) == 0)
        return true;
    }
    return false;
  }
  // A small group: most names differ in their first byte already.
  for (VtValue* v = open->group->values; v; v = v->next) {
    if (v->name[0] == name[0] && strcmp(v->name, name) == 0)
      return true;
  }
  return false;
}

// Adds a value as vtNodeAddValue does: behind the last one, unless the group
// already has a value of that name (false; the value stays with the caller).
bool addValue(OpenGroup* open, VtValue* value) {
  bool wantsIndex = !open->noIndex && open->valueCount + 1 >= kIndexThreshold;
  // Only an index needs the name's hash.
  uint32_t hash = open->slots || wantsIndex ? hashName(value->name) : 0;
  if (hasValueNamed(open, value->name, hash))
    return false;
  if (wantsIndex && !indexReserve(open)) {
    closeGroup(open);
    open->noIndex = true;
  }
  value->next = nullptr;
  if (open->lastValue)
    open->lastValue->next = value;
  else
    open->group->values = value;
  open->lastValue = value;
  ++open->valueCount;
  if (open->slots)
    indexPut(open->slots, open->mask, value, hash);
  return true;
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

// --- Body lines -------------------------------------------------------------

// Makes the value of a value line `line`, which begins with a letter; gives
// the value in `*made`, or a result code.
int makeValue(char* line, VtValue** made) {
  *made = nullptr;
  char* colon = strchr(line, ':');
  char* equals = strchr(line, '=');
  if (!colon || !equals || equals != colon + 2)
    return kVtBadValueLine;
  char letter = colon[1];
  char* text = equals + 1;
  VtKind kind;
  switch (letter) {
  case 'i':
    kind = VtInt;
    break;
  case 's':
    kind = VtString;
    break;
  case 'f':
    kind = VtReal;
    break;
  case 'd':
    kind = VtData;
    break;
  case 'u':
    kind = VtWString;
    break;
  default:
    return kVtBadType;
  }

  int32_t count = 0;
  const char* digits = nullptr;
  if (kind == VtData || kind == VtWString) {
    if (vtCheckHex(text, &count, &digits) != kVtOk)
      return kVtBadPayload;
  }

  // Strings, data and wide strings share the value's block, behind its name;
  // wide units start at an even offset.
  size_t nameLength = size_t(colon - line);
  size_t unitsOffset = (sizeof(VtValue) + nameLength + 1) % 2;
  size_t extra = 0;
  if (kind == VtString)
    extra = strlen(text) + 1;
  else if (kind == VtData)
    extra = size_t(count);
  else if (kind == VtWString)
    extra = unitsOffset + (size_t(count) + 1) * sizeof(char16_t);
  VtValue* value = vtMakeValue(line, nameLength, kind, extra);
  if (!value)
    return kVtNoMemory;
  char* behindName = value->name + nameLength + 1;
  switch (kind) {
  case VtInt:
    value->payload.i = vtParseInt(text);
    break;
  case VtString:
    value->payload.s = behindName;
    memcpy(value->payload.s, text, extra);
    value->storage |= kVtInlinePayload;
    break;
  case VtReal:
    value->payload.f = vtParseReal(text);
    break;
  case VtData:
    // An empty block stays null, as vtDecodeHex gives it.
    if (count > 0) {
      value->payload.d = reinterpret_cast<unsigned char*>(behindName);
      vtHexToBytes(digits, count, value->payload.d);
      value->length = count;
      value->storage |= kVtInlinePayload;
    }
    break;
  case VtWString: {
    // A line holds at most kVtLineMax bytes, so its payload fits here.
    unsigned char onStack[kVtLineMax / 2];
    unsigned char* bytes = onStack;
    if (size_t(count) > sizeof onStack)
      bytes = static_cast<unsigned char*>(malloc(size_t(count)));
    if (!bytes) {
      vtFreeValue(value);
      return kVtNoMemory;
    }
    vtHexToBytes(digits, count, bytes);
    char16_t* units = reinterpret_cast<char16_t*>(behindName + unitsOffset);
    vtUtf8ToWide(units, count + 1, bytes, count);
    if (bytes != onStack)
      free(bytes);
    value->payload.u = units;
    value->storage |= kVtInlinePayload;
    break;
  }
  }
  *made = value;
  return kVtOk;
}

// The groups open while a body is read: the given group at depth 0, then one
// entry for each group whose ")" has not come yet.
struct BodyState {
  OpenGroup open[kVtMaxOpenGroups + 1];
  int depth;
};

int readBodyLine(char* line, BodyState* state) {
  char* p = vtSkipSpace(line);
  OpenGroup* current = &state->open[state->depth];
  switch (*p) {
  case '(': {
    if (state->depth == kVtMaxOpenGroups)
      return kVtTooDeep;
    VtNode* group = vtNewNode(p + 1);
    if (!group)
      return kVtNoMemory;
    ++state->depth;
    openGroup(&state->open[state->depth], group);
    return kVtOk;
  }
  case ')': {
    if (state->depth == 0)
      return kVtUnbalanced;
    closeGroup(current);
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
  VtValue* value;
  int code = makeValue(p, &value);
  if (code != kVtOk)
    return code;
  if (!addValue(current, value))
    vtFreeValue(value);
  return kVtOk;
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
  BodyState state;
  state.depth = 0;
  openGroup(&state.open[0], root);
  int code = kVtOk;
  while (char* line = vtNextLine(reader)) {
    code = readBodyLine(line, &state);
    if (code != kVtOk)
      break;
  }
  // Groups whose ")" never came are attached to nothing: release them.
  for (int depth = state.depth; depth > 0; --depth) {
    closeGroup(&state.open[depth]);
    vtFreeNode(state.open[depth].group);
  }
  closeGroup(&state.open[0]);
  return code;
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

VtDocument* vtReadDocument(ByteReader* stream) {
  VtDocument* document =
      static_cast<VtDocument*>(calloc(1, sizeof(VtDocument)));
  if (!document)
    return nullptr;
  document->status = -1;
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
  char* text = vtCopyString(rest);
  if (!text)
    return document;
  document->status = status;
  document->major = major;
  document->minor = minor;
  document->text = text;
  document->root = vtReadTree(&reader);
  return document;
}
