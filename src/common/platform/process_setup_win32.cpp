// process_setup_win32.cpp: Win32 half of the process setup: the error mode.
// Only SetErrorMode is used, which every Windows version has (GetErrorMode
// came with Vista).
#include "common/platform/process_setup.h"

#include <windows.h>

void prepareUnattendedProcess() {
  const UINT quiet =
      SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
  // SetErrorMode hands back the mode it replaces; the caller's own flags are
  // kept beside these.
  SetErrorMode(SetErrorMode(quiet) | quiet);
}
