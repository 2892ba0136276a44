// memory_byte_reader.h: a byte stream over a block of memory that delivers
// its bytes in chunks of chosen sizes, so that the variable-tree reader can be
// run on a text in memory as it would be on a pipe (tests, fuzzing).
#ifndef ENABLER_VARTREE_MEMORY_BYTE_READER_H
#define ENABLER_VARTREE_MEMORY_BYTE_READER_H

#include "common/process/child_process.h"

#include <stddef.h>

#include <vector>

struct VtDocument;

class MemoryByteReader : public ByteReader {
public:
  /// Reads the `size` bytes at `data`, which are not copied and must outlive
  /// the reader. Each read delivers at most the next entry of `chunks`
  /// (cycled; an entry below 1 counts as 1); with no entries a read delivers
  /// all it is asked for.
  MemoryByteReader(const char* data, size_t size, std::vector<int> chunks = {});
  int read(char* buffer, int count) override;
  void close() override { closed_ = true; }
  /// Number of read calls so far.
  int reads() const { return reads_; }

private:
  const char* data_;
  size_t size_;
  size_t position_ = 0;
  std::vector<int> chunks_;
  size_t nextChunk_ = 0;
  int reads_ = 0;
  bool closed_ = false;
};

/// Reads a document from the `size` bytes at `data` through a
/// MemoryByteReader with the given chunk sizes. The caller owns the result.
VtDocument* vtReadDocumentFromMemory(const char* data, size_t size,
                                     const std::vector<int>& chunks = {});

#endif
