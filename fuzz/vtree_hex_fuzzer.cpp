// vtree_hex_fuzzer.cpp: the decoder of d and u payloads ("count,hexdigits") on
// arbitrary text, checked against the rule it follows: the count read like an
// integer value up to the first ",", two digits a byte, a non-digit counted
// as its code minus that of "0", the low 8 bits kept.
#include "fuzz_support.h"

#include <ctype.h>
#include <limits.h>

namespace {

int digitValue(char c) {
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return c - '0';
}

// The count as an integer value reads it; false when it does not fit in 32
// bits, where what the decoder makes of it is its own choice.
bool modelCount(const char* text, const char* end, int64_t* count) {
  const char* p = text;
  while (p < end && isspace(static_cast<unsigned char>(*p)))
    ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-'))
    negative = *p++ == '-';
  int64_t value = 0;
  for (; p < end && isdigit(static_cast<unsigned char>(*p)); ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX)
      return false;
  }
  *count = negative ? -value : value;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  const char* str = text.c_str();

  unsigned char* block = nullptr;
  int32_t count = -7;
  int result = vtDecodeHex(str, &block, &count);

  const char* comma = strchr(str, ',');
  if (comma == nullptr) {
    FUZZ_CHECK(result == kVtHexNoComma, std::to_string(result));
    free(block);
    return 0;
  }
  int64_t expectedCount = 0;
  bool countKnown = modelCount(str, comma, &expectedCount);
  size_t digits = strlen(comma + 1);
  if (countKnown && expectedCount <= 0) {
    FUZZ_CHECK(result == 0, std::to_string(result));
    FUZZ_CHECK(block == nullptr && count == 0,
               "count " + std::to_string(count));
    return 0;
  }
  if (countKnown && digits < 2 * static_cast<uint64_t>(expectedCount)) {
    FUZZ_CHECK(result == kVtHexShort, std::to_string(result));
    free(block);
    return 0;
  }
  if (!countKnown) {
    FUZZ_CHECK(result == 0 || result == kVtHexShort, std::to_string(result));
    free(block);
    return 0;
  }
  FUZZ_CHECK(result == 0, std::to_string(result));
  FUZZ_CHECK(count == expectedCount, std::to_string(count));
  FUZZ_CHECK(block != nullptr, "no block for count " + std::to_string(count));
  const char* hex = comma + 1;
  for (int32_t i = 0; i < count; ++i) {
    int expected =
        (16 * digitValue(hex[2 * i]) + digitValue(hex[2 * i + 1])) & 0xFF;
    FUZZ_CHECK(block[i] == expected, "byte " + std::to_string(i));
  }
  free(block);
  return 0;
}
