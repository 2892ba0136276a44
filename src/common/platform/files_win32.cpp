// files_win32.cpp: Win32 half of the file reads and of the run's log. A file
// is used only when the system calls it a disk file that is no directory.
#include "common/platform/files.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace {

/// Whether `file` is a disk file that is neither a directory nor, when
/// `refuseLinks`, a reparse point (a symbolic link or a junction opened as
/// itself).
bool isRegularFile(HANDLE file, bool refuseLinks) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file, &info))
    return false;
  DWORD refused = FILE_ATTRIBUTE_DIRECTORY;
  if (refuseLinks)
    refused |= FILE_ATTRIBUTE_REPARSE_POINT;
  // A hard link is a second name of another file, which would be emptied
  // and written as through a symbolic link.
  if (refuseLinks && info.nNumberOfLinks > 1)
    return false;
  return (info.dwFileAttributes & refused) == 0;
}

} // namespace

struct RegularFile {
  HANDLE handle;
  std::string path;
  size_t maxBytes;
  size_t total;
};

RegularFile* openRegularFile(const std::string& path, size_t maxBytes,
                             SystemError* error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return nullptr;
  }
  if (!isRegularFile(file, /*refuseLinks=*/false)) {
    keepSystemError(error, SystemError{"CreateFileA '" + path + "'",
                                       ERROR_INVALID_FUNCTION,
                                       "not a regular file"});
    CloseHandle(file);
    return nullptr;
  }
  return new RegularFile{file, path, maxBytes, 0};
}

long readRegularFilePart(RegularFile* file, char* buffer, size_t size,
                         SystemError* error) {
  DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD n = 0;
  if (!ReadFile(file->handle, buffer, wanted, &n, nullptr)) {
    keepSystemError(error, lastSystemError("ReadFile '" + file->path + "'"));
    return -1;
  }
  if (file->total + n > file->maxBytes) {
    keepSystemError(error, systemError("ReadFile '" + file->path + "'",
                                       tooLargeErrorCode()));
    return -1;
  }
  file->total += n;
  return static_cast<long>(n);
}

void closeRegularFile(RegularFile* file) {
  if (!file)
    return;
  CloseHandle(file->handle);
  delete file;
}

FILE* openRunLog(const std::string& path, SystemError* error) {
  // No security attributes: the handle is not inheritable. Others may read
  // the log while the run writes it (an administrator's "type en_out.txt"),
  // but a second run cannot open it for writing. A reparse point is opened
  // as itself, so that a link is seen instead of followed.
  HANDLE file = CreateFileA(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return nullptr;
  }
  SystemError failure;
  if (!isRegularFile(file, /*refuseLinks=*/true))
    failure = SystemError{"CreateFileA '" + path + "'", ERROR_INVALID_FUNCTION,
                          "not a regular file"};
  else if (!SetEndOfFile(file))
    failure = lastSystemError("SetEndOfFile '" + path + "'");
  if (failure.failed()) {
    CloseHandle(file);
    keepSystemError(error, failure);
    return nullptr;
  }
  // The C runtime's text mode makes each "\n" a CR LF, as fopen's "w" does.
  int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_TEXT);
  if (fd < 0) {
    CloseHandle(file);
    keepSystemError(error, systemError("_open_osfhandle '" + path + "'",
                                       ERROR_INVALID_HANDLE));
    return nullptr;
  }
  FILE* stream = _fdopen(fd, "w");
  if (!stream) {
    _close(fd);
    keepSystemError(
        error, systemError("_fdopen '" + path + "'", ERROR_NOT_ENOUGH_MEMORY));
  }
  return stream;
}

FILE* openForAppending(const std::string& path, SystemError* error) {
  // "N": the C runtime's flag for a handle that no child inherits.
  FILE* stream = fopen(path.c_str(), "abN");
  if (!stream)
    keepSystemError(error, lastSystemError("fopen '" + path + "'"));
  return stream;
}
