// files_win32.cpp: Win32 half of the file reads. The file is opened for
// reading with others still free to read and write it, and read only when
// the system calls it a disk file that is no directory.
#include "common/platform/files.h"

#include <windows.h>

bool readRegularFile(const std::string& path, size_t maxBytes,
                     std::string* content, SystemError* error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return false;
  }
  bool ok = false;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    keepSystemError(error, SystemError{"CreateFileA '" + path + "'",
                                       ERROR_INVALID_FUNCTION,
                                       "not a regular file"});
  } else {
    std::string text;
    char chunk[16384];
    for (;;) {
      DWORD n = 0;
      if (!ReadFile(file, chunk, sizeof chunk, &n, nullptr)) {
        keepSystemError(error, lastSystemError("ReadFile '" + path + "'"));
        break;
      }
      if (n == 0) {
        ok = true;
        break;
      }
      if (text.size() + n > maxBytes) {
        keepSystemError(error, systemError("ReadFile '" + path + "'",
                                           ERROR_FILE_TOO_LARGE));
        break;
      }
      text.append(chunk, n);
    }
    if (ok)
      *content = std::move(text);
  }
  CloseHandle(file);
  return ok;
}
