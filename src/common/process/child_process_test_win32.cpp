// child_process_test_win32.cpp: Win32 half of the child-process tests.
#include <windows.h>

#include <stdint.h>

/// Handles open in this process. Every valid handle value is probed, since
/// GetProcessHandleCount is not answered under Wine.
int openHandleCount() {
  int count = 0;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++count;
  }
  return count;
}
