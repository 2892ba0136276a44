// vtree_value_line.cpp: a value line of the text form, "name:k=text", taken
// apart and its payload written behind the value's name.
#include "common/check.h"
#include "common/vartree/vtree_reader_internal.h"

#include <string.h>

namespace {

// The kind a value line's letter names; false for another letter.
bool kindOfLetter(char letter, VtKind* kind) {
  switch (letter) {
  case 'i':
    *kind = VtInt;
    return true;
  case 's':
    *kind = VtString;
    return true;
  case 'f':
    *kind = VtReal;
    return true;
  case 'd':
    *kind = VtData;
    return true;
  case 'u':
    *kind = VtWString;
    return true;
  default:
    return false;
  }
}

// Where wide units start behind the name: at an even offset.
size_t unitsOffset(const VtValueLine& parts) {
  return (sizeof(VtValue) + parts.nameLength + 1) % 2;
}

} // namespace

int vtSplitValueLine(char* line, VtValueLine* parts) {
  // The first ":" of the line, with the first "=" two bytes behind it: one
  // pass over the name finds both, since an "=" before the ":" is refused.
  char* colon = line + strcspn(line, ":=");
  if (*colon != ':' || colon[1] == 0 || colon[1] == '=' || colon[2] != '=')
    return kVtBadValueLine;
  if (!kindOfLetter(colon[1], &parts->kind))
    return kVtBadType;
  parts->nameLength = size_t(colon - line);
  parts->text = colon + 3;
  if ((parts->kind == VtData || parts->kind == VtWString) &&
      vtCheckHex(parts->text, &parts->count, &parts->digits) != kVtOk)
    return kVtBadPayload;
  return kVtOk;
}

size_t vtPayloadBytes(const VtValueLine& parts) {
  switch (parts.kind) {
  case VtString:
    return strlen(parts.text) + 1;
  case VtData:
    return size_t(parts.count);
  case VtWString:
    return unitsOffset(parts) + (size_t(parts.count) + 1) * sizeof(char16_t);
  default:
    return 0;
  }
}

void vtFillPayload(VtValue* value, const VtValueLine& parts, size_t bytes) {
  char* behindName = value->name + parts.nameLength + 1;
  switch (parts.kind) {
  case VtInt:
    value->payload.i = vtParseInt(parts.text);
    break;
  case VtString:
    value->payload.s = behindName;
    memcpy(value->payload.s, parts.text, bytes);
    value->storage |= kVtInlinePayload;
    break;
  case VtReal:
    value->payload.f = vtParseReal(parts.text);
    break;
  case VtData:
    // An empty block stays null, as vtDecodeHex gives it.
    if (parts.count > 0) {
      value->payload.d = reinterpret_cast<unsigned char*>(behindName);
      vtHexToBytes(parts.digits, parts.count, value->payload.d);
      value->length = parts.count;
      value->storage |= kVtInlinePayload;
    }
    break;
  case VtWString: {
    // A line holds at most kVtLineMax bytes, two digits a byte, so its
    // payload fits here.
    unsigned char raw[kVtLineMax / 2];
    ENABLER_ASSERT(size_t(parts.count) <= sizeof raw, "vtree");
    vtHexToBytes(parts.digits, parts.count, raw);
    char16_t* units =
        reinterpret_cast<char16_t*>(behindName + unitsOffset(parts));
    vtUtf8ToWide(units, parts.count + 1, raw, parts.count);
    value->payload.u = units;
    value->storage |= kVtInlinePayload;
    break;
  }
  }
}
