// standard_streams_posix.cpp: POSIX half of the standard streams, which carry
// bytes unchanged already.
#include "common/platform/standard_streams.h"

#include <unistd.h>

void setBinaryStdio(unsigned) {}

bool standardInputIsConsole() {
  return isatty(STDIN_FILENO) == 1;
}

SystemError standardInputReadError() {
  // The stream's read(2) left its errno: EISDIR, EBADF, EIO and the like.
  return lastSystemError("read standard input");
}
