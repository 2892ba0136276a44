// standard_streams_win32.cpp: Win32 half of the standard streams. The
// runtime's text mode would end standard input at a 0x1A byte, drop CRs and
// write each line feed as CR LF.
#include "common/platform/standard_streams.h"

#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void setBinaryStdio(unsigned streams) {
  if (streams & kStandardInput)
    _setmode(_fileno(stdin), _O_BINARY);
  if (streams & kStandardOutput)
    _setmode(_fileno(stdout), _O_BINARY);
  if (streams & kStandardError)
    _setmode(_fileno(stderr), _O_BINARY);
}

bool standardInputIsConsole() {
  // GetFileType calls the NUL device a character file as well; only a
  // console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

SystemError standardInputReadError() {
  // The runtime keeps the system's code of a failed ReadFile in _doserrno;
  // a read it refused itself (no standard input at all) has errno alone.
  const char operation[] = "read standard input";
  if (_doserrno != 0)
    return systemError(operation, static_cast<long>(_doserrno));
  SystemError error;
  error.operation = operation;
  error.code = errno;
  error.text = strerror(errno);
  return error;
}
