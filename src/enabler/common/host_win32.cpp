// host_win32.cpp: Win32 half of the host facts: GetModuleFileNameExA for the
// own path, "\\" and "cpuid.exe", SetEnvironmentVariableA for the environment.
#include "host.h"

#include <windows.h>

#include <psapi.h>

#include <vector>

unsigned long hostOwnPath(char* buffer, unsigned long size) {
  // The current process and no module: the main executable.
  DWORD n = GetModuleFileNameExA(GetCurrentProcess(), nullptr, buffer, size);
  if (n > 0 && n < size)
    buffer[n] = 0;
  return n;
}

char hostPathSeparator() {
  return '\\';
}

const char* hostCpuidProgramName() {
  return "cpuid.exe";
}

bool hostSetEnvironment(const char* name, const char* value) {
  // The process environment block is what CreateProcessA hands to children.
  return SetEnvironmentVariableA(name, value) != 0;
}

bool hostGetEnvironment(const char* name, std::string* value) {
  // The size asked for counts the terminator, so 0 means "not set".
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0)
    return false;
  std::vector<char> text(size);
  DWORD n = GetEnvironmentVariableA(name, text.data(), size);
  if (n >= size)
    return false;
  value->assign(text.data(), n);
  return true;
}
