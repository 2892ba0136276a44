// monotonic_clock_win32.cpp: Win32 half of the monotonic clock: GetTickCount,
// the milliseconds since the system started. It is not the wall clock, which
// libstdc++'s steady_clock is under MinGW's win32 threading model, and unlike
// GetTickCount64 it is there on XP and Server 2003.
#include "common/platform/monotonic_clock.h"

#include <windows.h>

uint32_t monotonicMilliseconds() {
  return GetTickCount();
}
