// platform_win32_test.cpp: what only the Win32 half of the platform sets up:
// the error mode, and the clock.
#include "common/platform/monotonic_clock.h"
#include "common/platform/process_setup.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ProcessSetupWin32Test, ErrorModeStopsTheSystemsDialogs) {
  UINT previous = SetErrorMode(0);
  SetErrorMode(previous);
  prepareUnattendedProcess();
  UINT mode = SetErrorMode(previous);
  const UINT quiet =
      SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
  EXPECT_EQ(quiet, mode & quiet);
  EXPECT_EQ(previous, mode & previous) << "the caller's own flags are kept";
}

TEST(MonotonicClockWin32Test, CountsTheTicksNotTheWallClock) {
  // The wall clock (GetSystemTimeAsFileTime, which steady_clock reads under
  // the win32 threading model) counts from 1601; it would fall outside these
  // readings.
  DWORD before = GetTickCount();
  uint32_t reading = monotonicMilliseconds();
  DWORD after = GetTickCount();
  EXPECT_LE(reading - before, after - before)
      << before << " <= " << reading << " <= " << after;
}

} // namespace
