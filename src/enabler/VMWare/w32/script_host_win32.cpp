// script_host_win32.cpp: Win32 half of the retrieval run's platform needs.
// The interpreter is started with CreateProcessA, never through the command
// interpreter, so no identity text is read as a command.
#include "script_host.h"

#include "registry.h"

#include <windows.h>

const char* perlInterpreterName() {
  return "perl.exe";
}

char searchPathSeparator() {
  return ';';
}

bool getShortPath(const char* path, std::string* shortPath) {
  char buffer[kInstallPathBytes];
  DWORD length = GetShortPathNameA(path, buffer, sizeof buffer);
  // 0 is a failure; a length of the buffer or more is the size it would need.
  if (length == 0 || length >= sizeof buffer)
    return false;
  shortPath->assign(buffer, length);
  return true;
}

std::string currentSearchPath() {
  DWORD needed = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (needed == 0)
    return std::string();
  std::string value(needed, '\0');
  DWORD length = GetEnvironmentVariableA("PATH", &value[0], needed);
  if (length == 0 || length >= needed)
    return std::string();
  value.resize(length);
  return value;
}

bool setSearchPath(const std::string& value) {
  return SetEnvironmentVariableA("PATH", value.c_str()) != FALSE;
}

namespace {

// The standard handles reach the child only when they may be inherited; a
// handle that cannot be marked (none, or a console one) stays as it is.
HANDLE inheritable(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (handle && handle != INVALID_HANDLE_VALUE)
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

} // namespace

int runScript(const ScriptCommand& command) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritable(STD_ERROR_HANDLE);

  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  // CreateProcessA may write into the command line, so it gets a copy.
  std::string line = command.text;
  if (!CreateProcessA(command.program.c_str(), &line[0], nullptr, nullptr,
                      /*bInheritHandles=*/TRUE, /*dwCreationFlags=*/0,
                      /*lpEnvironment=*/nullptr,
                      /*lpCurrentDirectory=*/nullptr, &startup, &process))
    return -1;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  BOOL known = GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  return known ? static_cast<int>(exitCode) : -1;
}
