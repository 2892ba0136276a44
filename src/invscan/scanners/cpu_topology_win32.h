// cpu_topology_win32.h: the seam of the Win32 topology reader. Both Windows
// functions are looked up at run time, since Windows XP before SP3 and
// Server 2003 before SP1 have neither and Windows before 7 lacks the Ex form;
// tests hand in functions of their own, or none.
#ifndef ENABLER_SCANNERS_CPU_TOPOLOGY_WIN32_H
#define ENABLER_SCANNERS_CPU_TOPOLOGY_WIN32_H

#include "invscan/scanners/cpu_topology.h"

#include <windows.h>

/// GetLogicalProcessorInformation's type; declared here because the
/// headers of older Windows targets do not declare the Ex form.
using GetLogicalProcessorInformationFn =
    BOOL(WINAPI*)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION, PDWORD);
/// GetLogicalProcessorInformationEx's type.
using GetLogicalProcessorInformationExFn =
    BOOL(WINAPI*)(LOGICAL_PROCESSOR_RELATIONSHIP,
                  PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, PDWORD);

/// readCpuTopology() with the given functions, either of which may be null:
/// the Ex form when it answers, else the plain one, else false.
bool readCpuTopologyWith(GetLogicalProcessorInformationExFn ex,
                         GetLogicalProcessorInformationFn plain,
                         CpuTopology* topology);

#endif
