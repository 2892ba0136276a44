// files.cpp: the whole-file read, the same on every platform above the
// platform halves' opening and reading in pieces.
#include "common/platform/files.h"

#include <utility>

bool readRegularFile(const std::string& path, size_t maxBytes,
                     std::string* content, SystemError* error) {
  RegularFile* file = openRegularFile(path, maxBytes, error);
  if (!file)
    return false;
  std::string text;
  char chunk[16384];
  long n;
  while ((n = readRegularFilePart(file, chunk, sizeof chunk, error)) > 0)
    text.append(chunk, static_cast<size_t>(n));
  closeRegularFile(file);
  if (n < 0)
    return false;
  *content = std::move(text);
  return true;
}
