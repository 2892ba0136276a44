// binary_stdio_win32.cpp: the runtime's text mode would end standard input at
// a 0x1A byte, drop CRs and write each line feed as CR LF.
#include "binary_stdio.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

void setBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

bool standardInputIsConsole() {
  // GetFileType calls the NUL device a character file as well; only a
  // console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
