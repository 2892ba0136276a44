// files_posix.cpp: POSIX half of the file reads and of the run's log. Files
// are opened without waiting (a named pipe would otherwise block the open
// until the other side came) and used only when fstat says they are regular.
#include "common/platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

struct RegularFile {
  int fd;
  std::string path;
  size_t maxBytes;
  size_t total;
};

RegularFile* openRegularFile(const std::string& path, size_t maxBytes,
                             SystemError* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    keepSystemError(error, lastSystemError("open '" + path + "'"));
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    keepSystemError(error, lastSystemError("fstat '" + path + "'"));
  } else if (!S_ISREG(info.st_mode)) {
    keepSystemError(error, SystemError{"open '" + path + "'", EINVAL,
                                       "not a regular file"});
  } else {
    return new RegularFile{fd, path, maxBytes, 0};
  }
  close(fd);
  return nullptr;
}

long readRegularFilePart(RegularFile* file, char* buffer, size_t size,
                         SystemError* error) {
  for (;;) {
    ssize_t n = read(file->fd, buffer, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      keepSystemError(error, lastSystemError("read '" + file->path + "'"));
      return -1;
    }
    if (file->total + static_cast<size_t>(n) > file->maxBytes) {
      keepSystemError(
          error, systemError("read '" + file->path + "'", tooLargeErrorCode()));
      return -1;
    }
    file->total += static_cast<size_t>(n);
    return static_cast<long>(n);
  }
}

void closeRegularFile(RegularFile* file) {
  if (!file)
    return;
  close(file->fd);
  delete file;
}

FILE* openRunLog(const std::string& path, SystemError* error) {
  // Nothing is truncated before the checks: a link, a device or another
  // run's log must stay as it is.
  int fd =
      open(path.c_str(),
           O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
           0666);
  if (fd < 0) {
    keepSystemError(error, lastSystemError("open '" + path + "'"));
    return nullptr;
  }
  struct stat info;
  SystemError failure;
  if (fstat(fd, &info) != 0)
    failure = lastSystemError("fstat '" + path + "'");
  else if (!S_ISREG(info.st_mode))
    failure = SystemError{"open '" + path + "'", EINVAL, "not a regular file"};
  // A second name of another file (a hard link) would have that file emptied
  // and written, as a symbolic link would.
  else if (info.st_nlink > 1)
    failure = SystemError{"open '" + path + "'", EMLINK,
                          "the file has more than one name"};
  // The lock belongs to this open file and goes with its close; a run that
  // still holds it keeps its log, and this run goes without one. A file
  // system that cannot lock at all does not stop the log.
  else if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
    failure = lastSystemError("flock '" + path + "'");
  else if (ftruncate(fd, 0) != 0)
    failure = lastSystemError("ftruncate '" + path + "'");
  else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    failure = lastSystemError("fcntl '" + path + "'");
  if (!failure.failed()) {
    if (FILE* stream = fdopen(fd, "w"))
      return stream;
    failure = lastSystemError("fdopen '" + path + "'");
  }
  close(fd);
  keepSystemError(error, failure);
  return nullptr;
}

FILE* openForAppending(const std::string& path, SystemError* error) {
  // The descriptor stays non-blocking: on a regular file that changes
  // nothing, on a named pipe it turns a wait for a reader into a failure.
  int fd = open(
      path.c_str(),
      O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    keepSystemError(error, lastSystemError("open '" + path + "'"));
    return nullptr;
  }
  FILE* stream = fdopen(fd, "ab");
  if (!stream) {
    keepSystemError(error, lastSystemError("fdopen '" + path + "'"));
    close(fd);
  }
  return stream;
}
