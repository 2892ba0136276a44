#include "common/vartree/memory_byte_reader.h"

#include "common/vartree/vtree.h"

#include <string.h>

#include <utility>

MemoryByteReader::MemoryByteReader(const char* data, size_t size,
                                   std::vector<int> chunks)
    : data_(data), size_(size), chunks_(std::move(chunks)) {}

int MemoryByteReader::read(char* buffer, int count) {
  ++reads_;
  if (count < 0)
    return 0;
  size_t wanted = size_t(count);
  if (closed_ || position_ >= size_)
    wanted = 0;
  if (wanted > size_ - position_)
    wanted = size_ - position_;
  if (!chunks_.empty() && wanted > 0) {
    int chunk = chunks_[nextChunk_];
    nextChunk_ = (nextChunk_ + 1) % chunks_.size();
    size_t limit = chunk < 1 ? 1 : size_t(chunk);
    if (wanted > limit)
      wanted = limit;
  }
  if (wanted > 0)
    memcpy(buffer, data_ + position_, wanted);
  buffer[wanted] = 0;
  position_ += wanted;
  return int(wanted);
}

VtDocument* vtReadDocumentFromMemory(const char* data, size_t size,
                                     const std::vector<int>& chunks) {
  MemoryByteReader reader(data, size, chunks);
  return vtReadDocument(&reader);
}
