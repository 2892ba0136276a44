// environment_win32.cpp: Win32 half of the process environment. It reads and
// writes the process's environment block, which CreateProcessA hands to the
// children, not the C runtime's copy of it; only the block can hold a
// variable that is set to the empty text.
#include "common/platform/environment.h"

#include <windows.h>

#include <vector>

std::optional<std::string> getEnvironment(const char* name) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableA(name, buffer.data(),
                                         static_cast<DWORD>(buffer.size()));
    if (size == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return std::nullopt;
      return std::string();
    }
    // A size below the buffer's is the length copied; any other is the size
    // the value needs, terminator included.
    if (size < buffer.size())
      return std::string(buffer.data(), size);
    buffer.resize(size);
  }
}

bool setEnvironment(const char* name, const std::string& value) {
  return SetEnvironmentVariableA(name, value.c_str()) != FALSE;
}

bool removeEnvironment(const char* name) {
  if (SetEnvironmentVariableA(name, nullptr))
    return true;
  return GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}
