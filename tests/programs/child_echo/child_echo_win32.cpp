// child_echo_win32.cpp: Win32 half of child_echo: binary standard streams, so
// that byte counts and line ends reach the enabler unchanged, and the
// system's sleep.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

void setBinaryStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void sleepMilliseconds(long milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}
