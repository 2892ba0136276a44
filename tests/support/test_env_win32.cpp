// test_env_win32.cpp: Win32 half of the test support.
#include "test_util.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

void setTestEnv(const char* name, const char* value) {
  // _putenv_s keeps the runtime's copy and the process environment in step;
  // an empty value removes the variable.
  _putenv_s(name, value ? value : "");
  SetEnvironmentVariableA(name, value);
}

std::string testBinDir() {
  char path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    return ".";
  path[n] = 0;
  char* slash = strrchr(path, '\\');
  if (slash)
    *slash = 0;
  return path;
}
