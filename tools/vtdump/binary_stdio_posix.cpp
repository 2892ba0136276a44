// binary_stdio_posix.cpp: POSIX streams carry bytes unchanged already.
#include "binary_stdio.h"

#include <unistd.h>

void setBinaryStdio() {}

bool standardInputIsConsole() {
  return isatty(STDIN_FILENO) == 1;
}

SystemError standardInputReadError() {
  // The stream's read(2) left its errno: EISDIR, EBADF, EIO and the like.
  return lastSystemError("read standard input");
}
