// host.h: the few facts about the running program and its platform that the
// processor record builder needs: its own path, the path separator, the name
// of the cpuid program, and the process environment. Each platform file
// defines them.
#ifndef ENABLER_COMMON_HOST_H
#define ENABLER_COMMON_HOST_H

#include <string>

/// Writes the full path of the running executable into `buffer`, which holds
/// `size` + 1 bytes, at most `size` characters and a terminator. Gives the
/// number of characters written; `size` or more when the path did not fit
/// (the buffer then holds no usable path); 0 when the query failed, in which
/// case the buffer is left as it was.
unsigned long hostOwnPath(char* buffer, unsigned long size);

/// The separator between a directory and a name: '\\' on Windows, '/'
/// natively.
char hostPathSeparator();

/// The file name of the cpuid program: "cpuid.exe" on Windows, "cpuid"
/// natively.
const char* hostCpuidProgramName();

/// Sets `name` to `value` in the process environment, where the processes
/// started afterwards inherit it. False when that failed.
bool hostSetEnvironment(const char* name, const char* value);

/// The value of `name` in the process environment as the processes started
/// afterwards see it; false when it is not set.
bool hostGetEnvironment(const char* name, std::string* value);

#endif
