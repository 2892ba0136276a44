// vtree_line_reader.cpp: the line buffer between a byte stream and the
// variable tree's parser.
#include "common/check.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree_reader_internal.h"

#include <string.h>

namespace {

// Looks for a complete line from the scan position, replacing each CR met by
// a 0 byte. Bytes searched before are not searched again, so a line that
// arrives in many small reads costs its length once.
char* findLine(VtLineReader* reader) {
  char* buffer = reader->buffer;
  char* from = buffer + reader->scan + reader->searched;
  char* dataEnd = buffer + reader->fill;
  char* lf = nullptr;
  if (from < dataEnd)
    lf = static_cast<char*>(memchr(from, '\n', dataEnd - from));
  char* end = lf ? lf : dataEnd;
  while (from < end) {
    char* cr = static_cast<char*>(memchr(from, '\r', end - from));
    if (!cr)
      break;
    *cr = 0;
    from = cr + 1;
  }
  if (!lf) {
    reader->searched = reader->fill - reader->scan;
    return nullptr;
  }
  char* line = buffer + reader->scan;
  *lf = 0;
  reader->scan = static_cast<int>(lf - buffer) + 1;
  reader->searched = 0;
  return line;
}

} // namespace

char* vtNextLine(VtLineReader* reader) {
  if (char* line = findLine(reader))
    return line;
  int rest = reader->fill - reader->scan;
  if (reader->scan > 0 && rest > 0)
    memmove(reader->buffer, reader->buffer + reader->scan, rest);
  reader->fill = rest;
  reader->buffer[rest] = 0;
  reader->scan = 0;
  while (!reader->endOfStream) {
    int room = kVtLineMax - reader->fill;
    int got = 0;
    // A full buffer without LF ends the stream: its 1024 bytes are the last
    // line, and a read of 0 bytes would only report the end.
    if (room > 0 && reader->stream)
      got = reader->stream->read(reader->buffer + reader->fill, room);
    if (got <= 0)
      reader->endOfStream = true;
    else
      reader->fill += got < room ? got : room;
    reader->buffer[reader->fill] = 0;
    if (char* line = findLine(reader))
      return line;
  }
  if (reader->fill == 0)
    return nullptr;
  reader->fill = 0;
  reader->scan = 0;
  reader->searched = 0;
  return reader->buffer;
}

void vtInitLineReader(VtLineReader* reader, ByteReader* stream) {
  ENABLER_ASSERT(reader != 0, "vtree");
  reader->stream = stream;
  reader->endOfStream = false;
  reader->buffer[0] = 0;
  reader->scan = 0;
  reader->fill = 0;
  reader->searched = 0;
}

char* vtReadLine(VtLineReader* reader, char* destination, int size) {
  ENABLER_ASSERT(reader != 0, "vtree");
  ENABLER_ASSERT(destination != 0, "vtree");
  ENABLER_ASSERT(size > 0, "vtree");
  const char* line = vtNextLine(reader);
  if (!line)
    return nullptr;
  size_t length = 0;
  while (length < size_t(size - 1) && line[length])
    ++length;
  memcpy(destination, line, length);
  memset(destination + length, 0, size_t(size) - length);
  return destination;
}
