// platform_win32_test.cpp: what only the Win32 half of the platform sets up:
// the error mode.
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

} // namespace
