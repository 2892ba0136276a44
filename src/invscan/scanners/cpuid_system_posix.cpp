// cpuid_system_posix.cpp: POSIX half of the scanner's system facts.
#include "invscan/scanners/cpuid_system.h"

#include <unistd.h>

int systemProcessorCount() {
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  // The caller divides by packages; a failed query must not give a count
  // below the one processor that runs this code.
  if (online < 1)
    return 1;
  return static_cast<int>(online);
}
