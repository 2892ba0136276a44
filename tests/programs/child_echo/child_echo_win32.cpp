// child_echo_win32.cpp: Win32 half of child_echo: the system's sleep, and
// CreateProcessA of its own executable.
#include <windows.h>

#include <string>

void sleepMilliseconds(long milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}

unsigned long startLingering(const char* milliseconds) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return 0;
  std::string line = std::string("\"") + path + "\" sleep " + milliseconds;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(path, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &info))
    return 0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return info.dwProcessId;
}
