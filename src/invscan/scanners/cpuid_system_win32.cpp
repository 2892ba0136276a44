// cpuid_system_win32.cpp: Win32 half of the scanner's system facts.
#include "invscan/scanners/cpuid_system.h"

#include <windows.h>

#include <string.h>

int systemProcessorCount() {
  SYSTEM_INFO systemInfo;
  memset(&systemInfo, 0, sizeof(systemInfo));
  GetSystemInfo(&systemInfo);
  return static_cast<int>(systemInfo.dwNumberOfProcessors);
}
