// host_posix.cpp: POSIX half of the host facts: /proc/self/exe for the own
// path, "/" and "cpuid", setenv for the environment.
#include "host.h"

#include <stdlib.h>
#include <unistd.h>

unsigned long hostOwnPath(char* buffer, unsigned long size) {
  // readlink neither terminates nor tells a cut path from one that just fits;
  // a result of `size` is taken as cut, as the Windows query reports it.
  ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n <= 0)
    return 0;
  buffer[n] = 0;
  return static_cast<unsigned long>(n);
}

char hostPathSeparator() {
  return '/';
}

const char* hostCpuidProgramName() {
  return "cpuid";
}

bool hostSetEnvironment(const char* name, const char* value) {
  return setenv(name, value, 1) == 0;
}

bool hostGetEnvironment(const char* name, std::string* value) {
  const char* text = getenv(name);
  if (!text)
    return false;
  *value = text;
  return true;
}
