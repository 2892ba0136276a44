// vtree_payload.cpp: the value texts of the variable tree's text form:
// numbers, hexadecimal byte payloads and their UTF-8 decoding.
#include "common/check.h"
#include "common/vartree/vtree_reader_internal.h"

#include <stdlib.h>
#include <string.h>

// The magnitude stops growing past 2^31, which keeps it within 64 bits
// whatever the number of digits.
int32_t vtParseInt(const char* p) {
  p = vtSkipSpace(p);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  const int64_t cap = int64_t(INT32_MAX) + 1;
  int64_t magnitude = 0;
  for (; vtIsDigit(*p); ++p) {
    if (magnitude < cap)
      magnitude = magnitude * 10 + (*p - '0');
  }
  if (magnitude > cap)
    magnitude = cap;
  if (negative)
    return static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

// A decimal real number: leading white space, an optional sign, digits with
// an optional point and fraction, an optional exponent. Only that form is
// handed to strtod, which would also take hexadecimal numbers, "inf" and
// "nan". `text` lies in a writable line, so the number is cut off in place.
double vtParseReal(char* text) {
  char* start = vtSkipSpace(text);
  char* p = start;
  if (*p == '+' || *p == '-')
    ++p;
  char* digits = p;
  p = vtSkipDigits(p);
  bool anyDigit = p != digits;
  if (*p == '.') {
    char* fraction = p + 1;
    char* fractionEnd = vtSkipDigits(fraction);
    if (anyDigit || fractionEnd != fraction) {
      anyDigit = true;
      p = fractionEnd;
    }
  }
  if (!anyDigit)
    return 0.0;
  if (*p == 'e' || *p == 'E') {
    char* q = p + 1;
    if (*q == '+' || *q == '-')
      ++q;
    if (vtIsDigit(*q))
      p = vtSkipDigits(q);
  }
  char saved = *p;
  *p = 0;
  double value = strtod(start, nullptr);
  *p = saved;
  return value;
}

namespace {

// Value of a payload digit; a byte that is no hexadecimal digit counts as its
// code minus that of "0" (only the low 8 bits of the result matter).
constexpr unsigned hexValue(unsigned char c) {
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10u;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10u;
  return c - unsigned('0');
}

// The low 8 bits of each byte's digit value: a decoded byte keeps only its
// low 8 bits, and those depend only on the low 8 bits of each digit's value.
struct HexTable {
  unsigned char value[256];
  constexpr HexTable() : value() {
    for (unsigned c = 0; c < 256; ++c)
      value[c] = static_cast<unsigned char>(
          hexValue(static_cast<unsigned char>(c)) & 0xFFu);
  }
};
constexpr HexTable kHexTable;

} // namespace

int vtCheckHex(const char* str, int32_t* count, const char** digits) {
  *count = 0;
  *digits = nullptr;
  const char* comma = strchr(str, ',');
  if (!comma)
    return kVtHexNoComma;
  // The count ends at the ",", which no digit reading passes.
  int32_t wanted = vtParseInt(str);
  if (wanted <= 0)
    return kVtOk;
  // Count the digits present before anything is allocated, so that a short
  // line cannot ask for a block that its digits could never fill.
  size_t needed = 2 * size_t(uint32_t(wanted));
  if (strnlen(comma + 1, needed) < needed)
    return kVtHexShort;
  *count = wanted;
  *digits = comma + 1;
  return kVtOk;
}

void vtHexToBytes(const char* digits, int32_t count, unsigned char* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(digits);
  for (int32_t i = 0; i < count; ++i, p += 2)
    out[i] = static_cast<unsigned char>(16u * kHexTable.value[p[0]] +
                                        kHexTable.value[p[1]]);
}

int vtDecodeHex(const char* str, unsigned char** data, int32_t* count) {
  ENABLER_ASSERT(str != 0, "vtree");
  ENABLER_ASSERT(data != 0, "vtree");
  ENABLER_ASSERT(count != 0, "vtree");
  *data = nullptr;
  *count = 0;
  int32_t wanted;
  const char* digits;
  int code = vtCheckHex(str, &wanted, &digits);
  if (code != kVtOk || wanted == 0)
    return code;
  unsigned char* block = static_cast<unsigned char*>(malloc(size_t(wanted)));
  if (!block)
    return kVtHexShort;
  vtHexToBytes(digits, wanted, block);
  *data = block;
  *count = wanted;
  return kVtOk;
}

int vtUtf8ToWide(char16_t* destination, int limit, const unsigned char* bytes,
                 int count) {
  if (!destination || limit <= 0)
    return 0;
  int written = 0;
  int at = 0;
  while (at < count && bytes[at] != 0 && written < limit - 1) {
    unsigned lead = bytes[at++];
    if (lead < 0x80) {
      destination[written++] = static_cast<char16_t>(lead);
      continue;
    }
    // Following bytes: the 1 bits directly below the top bit. Their number
    // also says how many low bits of the lead belong to the code.
    int following = 0;
    for (unsigned bit = 0x40; bit && (lead & bit); bit >>= 1)
      ++following;
    uint32_t code = following < 7 ? lead & ((0x40u >> following) - 1) : 0;
    for (; following > 0 && at < count; --following)
      code = (code << 6) | (bytes[at++] & 0x3Fu);
    destination[written++] = static_cast<char16_t>(code & 0xFFFFu);
  }
  destination[written] = 0;
  return written;
}
