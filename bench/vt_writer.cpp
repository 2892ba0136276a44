// vt_writer: writes the benchmark report (report_text.h) of the given size to
// its standard output, for the reader's benchmark to read through a pipe.
// The whole text is made before the first byte goes out, so the reading side
// can start its clock at the first byte.
//
//   vt_writer BYTES
#include "report_text.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: vt_writer BYTES\n");
    return 2;
  }
  std::string text = makeReportText(strtoull(argv[1], nullptr, 10));
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    // 64 KiB, the pipe's usual capacity: the writer is never the slow side.
    size_t chunk = left < 65536 ? left : 65536;
    ssize_t written = write(1, p, chunk);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return 1;
    p += written;
    left -= size_t(written);
  }
  return 0;
}
