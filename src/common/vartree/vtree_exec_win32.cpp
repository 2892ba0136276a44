// vtree_exec_win32.cpp: Win32 half of the installation home: "\" separators,
// drive-letter paths, and the process environment as Windows keeps it.
#include "common/vartree/vtree_exec_platform.h"

#include <windows.h>

#include <vector>

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

const char* vtHomeSeparator() {
  return "\\";
}

bool vtIsAbsoluteCommand(const char* command) {
  if (isSeparator(command[0]))
    return true;
  return isDriveLetter(command[0]) && command[1] == ':' &&
         isSeparator(command[2]);
}

bool vtReadHomeDir(std::string* value) {
  // The process environment itself, not the runtime's copy: only it can hold
  // a variable that is set to the empty value.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableA("KEP_HOMEDIR", buffer.data(),
                                         static_cast<DWORD>(buffer.size()));
    if (size == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return false;
      value->clear();
      return true;
    }
    if (size < buffer.size()) {
      value->assign(buffer.data(), size);
      return true;
    }
    buffer.resize(size);
  }
}
