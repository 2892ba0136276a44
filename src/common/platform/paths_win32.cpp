// paths_win32.cpp: Win32 half of the path facts: "\\" and ";", ".exe",
// drive-letter paths, GetModuleFileNameExA for the own path and
// GetShortPathNameA.
#include "common/platform/paths.h"

#include <windows.h>

#include <psapi.h>

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

char pathSeparator() {
  return '\\';
}

char pathListSeparator() {
  return ';';
}

std::string programFileName(const char* stem) {
  return std::string(stem) + ".exe";
}

bool isAbsolutePath(const char* path) {
  if (isSeparator(path[0]))
    return true;
  return isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2]);
}

bool bareProgramNamesStartInOwnFolder() {
  return true;
}

std::optional<std::string> currentDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer)
    return std::nullopt;
  return std::string(buffer, length);
}

unsigned long ownExecutablePath(char* buffer, unsigned long size) {
  // The current process and no module: the main executable.
  DWORD n = GetModuleFileNameExA(GetCurrentProcess(), nullptr, buffer, size);
  if (n > 0 && n < size)
    buffer[n] = 0;
  return n;
}

bool shortPathName(const char* path, std::string* shortPath,
                   SystemError* error) {
  char buffer[kShortPathMax + 1];
  DWORD length = GetShortPathNameA(path, buffer, sizeof buffer);
  // 0 is a failure; a length of the buffer or more is the size it would need.
  if (length == 0) {
    keepSystemError(error, lastSystemError(std::string("GetShortPathNameA '") +
                                           path + "'"));
    return false;
  }
  if (length >= sizeof buffer) {
    keepSystemError(error,
                    systemError(std::string("GetShortPathNameA '") + path + "'",
                                ERROR_FILENAME_EXCED_RANGE));
    return false;
  }
  shortPath->assign(buffer, length);
  return true;
}
