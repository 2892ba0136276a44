// fuzz_support.h: pieces the fuzz targets share: a byte stream that hands out
// its bytes in chunks of changing size, a check of everything a document
// promises, and a printed form of a document for comparing two readings.
#ifndef ENABLER_FUZZ_FUZZ_SUPPORT_H
#define ENABLER_FUZZ_FUZZ_SUPPORT_H

#include "common/process/child_process.h"
#include "common/vartree/vtree.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

/// Stops the run with a message; libFuzzer keeps the input as a finding.
[[noreturn]] inline void fuzzFail(const char* what, const std::string& detail) {
  fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.c_str());
  fflush(stderr);
  abort();
}

#define FUZZ_CHECK(cond, detail) ((cond) ? (void)0 : fuzzFail(#cond, detail))

/// FNV-1a of the input: the seed of the chunk sizes, so that the same input
/// always arrives in the same chunks.
inline uint64_t fuzzHash(const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i)
    h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

/// A stream over a block of bytes, as a pipe delivers them: with `seed` 0
/// every read gets as much as it asks for; otherwise each read gets a number
/// of bytes drawn from `seed` (one byte, a few, a line's worth or all that was
/// asked). Each read puts a 0 byte behind what it delivered, as the pipe
/// streams do, and a read after the end keeps giving 0.
class ChunkedReader : public ByteReader {
public:
  ChunkedReader(const uint8_t* data, size_t size, uint64_t seed)
      : data_(data), size_(size), state_(seed | 1), chunked_(seed != 0) {}

  int read(char* buffer, int count) override {
    FUZZ_CHECK(count >= 0, "negative read size " + std::to_string(count));
    FUZZ_CHECK(count <= kVtLineMax,
               "read of " + std::to_string(count) + " bytes");
    size_t n = static_cast<size_t>(count);
    if (chunked_) {
      size_t chunk = nextChunk();
      if (n > chunk)
        n = chunk;
    }
    if (n > size_ - pos_)
      n = size_ - pos_;
    memcpy(buffer, data_ + pos_, n);
    buffer[n] = 0;
    pos_ += n;
    return static_cast<int>(n);
  }

private:
  size_t nextChunk() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    switch (state_ % 4) {
    case 0:
      return 1;
    case 1:
      return 1 + (state_ >> 8) % 16;
    case 2:
      return 1 + (state_ >> 8) % 1100;
    default:
      return static_cast<size_t>(-1);
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint64_t state_;
  bool chunked_;
};

/// Checks what a document promises, touching every byte it holds (so that the
/// sanitizers see a payload that is shorter than its length), and appends its
/// printed form to `out`: the status line fields, then the tree depth first.
void fuzzCheckDocument(const VtDocument* document, std::string* out);

#endif
