// host_report_win32.cpp: Win32 half of the cpuid program's measurements: the
// clock from the processor's description in the registry. The topology is
// the scanner's (cpu_topology.h).
#include "host_report.h"

#include "common/platform/scoped_resource_win32.h"

#include <windows.h>

int readHostClockMHz() {
  // "~MHz" of the first processor's description: the rated clock that
  // Windows determined at start.
  ScopedRegistryKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                    KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return 0;
  DWORD mhz = 0;
  DWORD type = 0;
  DWORD size = sizeof mhz;
  LONG status = RegQueryValueExA(key.get(), "~MHz", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&mhz), &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD)
    return 0;
  return static_cast<int>(mhz);
}
