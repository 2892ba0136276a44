// files_posix.cpp: POSIX half of the file reads. The file is opened without
// waiting (a named pipe would otherwise block the open until a writer came)
// and read only when fstat says it is a regular file.
#include "common/platform/files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool readRegularFile(const std::string& path, size_t maxBytes,
                     std::string* content, SystemError* error) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    keepSystemError(error, lastSystemError("open '" + path + "'"));
    return false;
  }
  struct stat info;
  bool ok = false;
  if (fstat(fd, &info) != 0) {
    keepSystemError(error, lastSystemError("fstat '" + path + "'"));
  } else if (!S_ISREG(info.st_mode)) {
    keepSystemError(error, SystemError{"open '" + path + "'", EINVAL,
                                       "not a regular file"});
  } else {
    std::string text;
    char chunk[16384];
    for (;;) {
      ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0) {
        keepSystemError(error, lastSystemError("read '" + path + "'"));
        break;
      }
      if (n == 0) {
        ok = true;
        break;
      }
      if (text.size() + static_cast<size_t>(n) > maxBytes) {
        keepSystemError(error, systemError("read '" + path + "'", EFBIG));
        break;
      }
      text.append(chunk, static_cast<size_t>(n));
    }
    if (ok)
      *content = std::move(text);
  }
  close(fd);
  return ok;
}
