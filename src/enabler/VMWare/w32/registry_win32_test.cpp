// registry_win32_test.cpp: the WOW64 answer of this test program, checked
// against what the system says of itself: yes for the 32-bit build on 64-bit
// Windows (or Wine's WoW64), no for the 64-bit build and on 32-bit Windows.
#include "registry.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(RegistryWin32Test, Wow64AnswerIsThisProcessOnThisSystem) {
  SYSTEM_INFO native;
  GetNativeSystemInfo(&native);
  bool systemIs64Bit =
      native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
  bool processIs32Bit = sizeof(void*) == 4;
  EXPECT_EQ(systemIs64Bit && processIs32Bit, isWow64());
}
