// files_win32.cpp: Win32 half of the file reads and of the run's log. A file
// is used only when the system calls it a disk file that is no directory.
#include "common/platform/files.h"

#include "common/platform/files_win32.h"
#include "common/platform/scoped_resource_win32.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <winioctl.h>

#include <vector>

namespace {

/// Whether `file` is a disk file that is no directory; its information in
/// `*info`.
bool isDiskFile(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileType(file) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(file, info) &&
         (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isRegularFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  return isDiskFile(file, &info);
}

/// The tag of the reparse point that `file` opened as itself. Asked of the
/// handle, not of the name, so the tag is that of the file just checked
/// whatever the name leads to by now (FSCTL_GET_REPARSE_POINT, which Windows
/// 2000 and later have).
bool reparseTagOf(HANDLE file, DWORD* tag) {
  std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD size = 0;
  if (!DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                       static_cast<DWORD>(data.size()), &size, nullptr) ||
      size < sizeof *tag)
    return false;
  memcpy(tag, data.data(), sizeof *tag);
  return true;
}

SystemError notARegularFile(const std::string& path) {
  return SystemError{"CreateFileA '" + path + "'", ERROR_INVALID_FUNCTION,
                     "not a regular file"};
}

/// Whether the log opened as itself at `*file` may be written. A link is
/// refused; a hard link is a second name of another file, which would be
/// emptied and written as through a symbolic link. A reparse point of
/// another kind (a deduplicated, tiered or cloud file) is opened again
/// through its filter in `*file`, which alone knows its content: written
/// as itself it would keep a reparse point that names the old content.
bool acceptLog(const std::string& path, ScopedHandle* file,
               SystemError* failure) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!isDiskFile(file->get(), &info) || info.nNumberOfLinks > 1) {
    *failure = notARegularFile(path);
    return false;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return true;
  DWORD tag = 0;
  if (!reparseTagOf(file->get(), &tag) || isLinkReparseTag(tag)) {
    *failure = notARegularFile(path);
    return false;
  }
  // The handle keeps others from writing, so it must go before the second
  // open; whatever takes the name meanwhile is caught by its identity.
  file->reset();
  file->reset(reopenCheckedLog(path, info, failure));
  return file->valid();
}

} // namespace

bool isLinkReparseTag(DWORD tag) {
  return IsReparseTagNameSurrogate(tag) != 0;
}

HANDLE reopenCheckedLog(const std::string& path,
                        const BY_HANDLE_FILE_INFORMATION& checked,
                        SystemError* error) {
  // OPEN_EXISTING: should the name lead elsewhere by now, nothing is created
  // there.
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.valid()) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!isDiskFile(file.get(), &info) || info.nNumberOfLinks > 1 ||
      info.dwVolumeSerialNumber != checked.dwVolumeSerialNumber ||
      info.nFileIndexHigh != checked.nFileIndexHigh ||
      info.nFileIndexLow != checked.nFileIndexLow) {
    keepSystemError(error, notARegularFile(path));
    return INVALID_HANDLE_VALUE;
  }
  return file.detach();
}

struct RegularFile {
  ScopedHandle handle;
  std::string path;
  size_t maxBytes;
  size_t total;
};

RegularFile* openRegularFile(const std::string& path, size_t maxBytes,
                             SystemError* error) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return nullptr;
  }
  if (!isRegularFile(file.get())) {
    keepSystemError(error, notARegularFile(path));
    return nullptr;
  }
  return new RegularFile{std::move(file), path, maxBytes, 0};
}

long readRegularFilePart(RegularFile* file, char* buffer, size_t size,
                         SystemError* error) {
  DWORD wanted = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD n = 0;
  if (!ReadFile(file->handle.get(), buffer, wanted, &n, nullptr)) {
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
  delete file;
}

FILE* openRunLog(const std::string& path, SystemError* error) {
  // No security attributes: the handle is not inheritable. Others may read
  // the log while the run writes it (an administrator's "type en_out.txt"),
  // but a second run cannot open it for writing. A reparse point is opened
  // as itself, so that a link is seen instead of followed, and its kind is
  // read from this handle before anything is written.
  ScopedHandle file(CreateFileA(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.valid()) {
    keepSystemError(error, lastSystemError("CreateFileA '" + path + "'"));
    return nullptr;
  }
  SystemError failure;
  if (!acceptLog(path, &file, &failure)) {
    keepSystemError(error, failure);
    return nullptr;
  }
  if (!SetEndOfFile(file.get())) {
    keepSystemError(error, lastSystemError("SetEndOfFile '" + path + "'"));
    return nullptr;
  }
  // The C runtime's text mode makes each "\n" a CR LF, as fopen's "w" does.
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()),
                           _O_WRONLY | _O_TEXT);
  if (fd < 0) {
    keepSystemError(error, systemError("_open_osfhandle '" + path + "'",
                                       ERROR_INVALID_HANDLE));
    return nullptr;
  }
  file.detach(); // the descriptor owns it now
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
