// vtree_reader_internal.h: what the reader's files share: the byte classes
// of the text form, the next line of a line reader, the reading of numbers
// and of value lines.
#ifndef ENABLER_VARTREE_VTREE_READER_INTERNAL_H
#define ENABLER_VARTREE_VTREE_READER_INTERNAL_H

#include "common/vartree/vtree.h"

#include <stddef.h>
#include <stdint.h>

inline bool vtIsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

inline bool vtIsDigit(char c) {
  return c >= '0' && c <= '9';
}

template <typename Char> Char* vtSkipSpace(Char* p) {
  while (vtIsSpace(*p))
    ++p;
  return p;
}

template <typename Char> Char* vtSkipDigits(Char* p) {
  while (vtIsDigit(*p))
    ++p;
  return p;
}

/// A new value named by the `nameLength` bytes at `name`, with `extra` bytes
/// of room behind its name's 0 in the value's own block; null when memory
/// runs out.
VtValue* vtMakeValue(const char* name, size_t nameLength, VtKind kind,
                     size_t extra);

/// The same in `block`, which has room for the record, the name and its 0;
/// the record is marked as owning no block of its own only by its caller.
VtValue* vtPlaceValue(void* block, const char* name, size_t nameLength,
                      VtKind kind);
/// A group named by the `nameLength` bytes at `name`, in `block`, which has
/// room for the record, the name and its 0.
VtNode* vtPlaceNode(void* block, const char* name, size_t nameLength);

/// Adds to the count that vtNameComparisons gives.
void vtCountNameComparisons(unsigned long count);

/// The next line in the reader's own buffer, without its line end and with
/// every CR in it replaced by a 0 byte; valid and writable until the next
/// call. Null at the end of the text.
char* vtNextLine(VtLineReader* reader);

/// A decimal integer as an i value reads it: leading white space, an optional
/// sign, digits; no digits give 0; beyond 32 bits it saturates.
int32_t vtParseInt(const char* text);

/// Checks a hexadecimal byte payload "count,digits" as vtDecodeHex reads it,
/// without decoding or allocating: kVtOk with the count (0 for a count of 0
/// or less) and, for a count above 0, where its digits begin; or
/// kVtHexNoComma or kVtHexShort with count 0.
int vtCheckHex(const char* str, int32_t* count, const char** digits);

/// Decodes `count` bytes from digits that vtCheckHex accepted into `out`.
void vtHexToBytes(const char* digits, int32_t count, unsigned char* out);

/// A decimal real number as an f value reads it; nothing readable gives 0.
/// `text` must be writable: the number is cut off in place for a moment.
double vtParseReal(char* text);

/// A value line taken apart: "name:k=text".
struct VtValueLine {
  size_t nameLength;
  VtKind kind;
  char* text;
  int32_t count = 0;            ///< bytes of a hex payload
  const char* digits = nullptr; ///< where its digits start
};

/// Takes `line` apart into `*parts`; a result code (kVtBadValueLine,
/// kVtBadType, kVtBadPayload or kVtOk).
int vtSplitValueLine(char* line, VtValueLine* parts);

/// The bytes a payload takes behind the value's name: strings, data and wide
/// strings share the value's block.
size_t vtPayloadBytes(const VtValueLine& parts);

/// Writes the payload of `parts` (`bytes` of vtPayloadBytes) into `value`,
/// whose block has room for it behind the name.
void vtFillPayload(VtValue* value, const VtValueLine& parts, size_t bytes);

#endif
