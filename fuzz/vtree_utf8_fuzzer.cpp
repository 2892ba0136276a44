// vtree_utf8_fuzzer.cpp: the UTF-8 decoder of u payloads on arbitrary bytes,
// compared unit for unit with a plain model of the decoding rule: a lead byte
// takes as many following bytes as it has 1 bits below its top bit, each adds
// its low six bits, and the unit keeps the low 16 bits of the code. The first
// input byte picks the limit: mostly the reader's own (count + 1), sometimes a
// small one that cuts the output short.
#include "fuzz_support.h"

#include <vector>

namespace {

// Only the low 16 bits count, so wrapping in 32 bits changes nothing.
int modelUtf8ToWide(char16_t* destination, int limit, const uint8_t* bytes,
                    int count) {
  if (destination == nullptr || limit == 0)
    return 0;
  int units = 0;
  int i = 0;
  while (i < count && bytes[i] != 0 && units < limit - 1) {
    uint32_t code = bytes[i++];
    if (code >= 0x80) {
      int following = 0;
      for (int bit = 6; bit >= 0 && ((code >> bit) & 1) != 0; --bit)
        ++following;
      code &= 0x3Fu >> following;
      for (int k = 0; k < following && i < count; ++k)
        code = (code << 6) | (bytes[i++] & 0x3Fu);
    }
    destination[units++] = static_cast<char16_t>(code & 0xFFFF);
  }
  destination[units] = 0;
  return units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096)
    return 0;
  const uint8_t* bytes = data + 1;
  int count = static_cast<int>(size - 1);
  int limit = data[0] < 200 ? count + 1 : data[0] - 200;

  // Exactly `limit` units, so that the sanitizer sees any write past them.
  char16_t* units = static_cast<char16_t*>(malloc(sizeof(char16_t) * limit));
  int written = vtUtf8ToWide(units, limit, bytes, count);
  if (limit == 0) {
    FUZZ_CHECK(written == 0, std::to_string(written));
    free(units);
    return 0;
  }
  FUZZ_CHECK(written >= 0 && written < limit, std::to_string(written) +
                                                  " units for limit " +
                                                  std::to_string(limit));
  FUZZ_CHECK(units[written] == 0, "no 0 unit behind the text");
  FUZZ_CHECK(written <= count, std::to_string(written));

  // What a 0xFF lead byte makes is the decoder's own choice.
  bool hasFF = memchr(bytes, 0xFF, static_cast<size_t>(count)) != nullptr;
  if (!hasFF) {
    std::vector<char16_t> expected(static_cast<size_t>(limit));
    int expectedCount = modelUtf8ToWide(expected.data(), limit, bytes, count);
    std::string detail = "decoder gave " + std::to_string(written) +
                         " units, model " + std::to_string(expectedCount);
    FUZZ_CHECK(written == expectedCount, detail);
    for (int i = 0; i < written; ++i)
      FUZZ_CHECK(units[i] == expected[static_cast<size_t>(i)],
                 detail + ", differing at unit " + std::to_string(i));
  }
  free(units);
  FUZZ_CHECK(vtUtf8ToWide(nullptr, 5, bytes, count) == 0, "null destination");
  return 0;
}
