// binary_stdio_win32.cpp: the runtime's text mode would end standard input at
// a 0x1A byte, drop CRs and write each line feed as CR LF.
#include "binary_stdio.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

void setBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}
