// binary_stdio_posix.cpp: POSIX streams carry bytes unchanged already.
#include "binary_stdio.h"

#include <unistd.h>

void setBinaryStdio() {}

bool standardInputIsConsole() {
  return isatty(STDIN_FILENO) == 1;
}
