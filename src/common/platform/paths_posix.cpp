// paths_posix.cpp: POSIX half of the path facts: "/" and ":", programs without
// a suffix, /proc/self/exe for the own path, and no 8.3 names.
#include "common/platform/paths.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

char pathSeparator() {
  return '/';
}

char pathListSeparator() {
  return ':';
}

std::string programFileName(const char* stem) {
  return stem;
}

bool isAbsolutePath(const char* path) {
  return path[0] == '/';
}

bool bareProgramNamesStartInOwnFolder() {
  return false;
}

std::optional<std::string> currentDirectory() {
  std::string buffer(4096, '\0');
  if (!getcwd(&buffer[0], buffer.size()))
    return std::nullopt;
  buffer.resize(strlen(buffer.c_str()));
  return buffer;
}

unsigned long ownExecutablePath(char* buffer, unsigned long size) {
  // readlink neither terminates nor tells a cut path from one that just fits;
  // a result of `size` is taken as cut, as the Windows query reports it.
  ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n <= 0)
    return 0;
  buffer[n] = 0;
  return static_cast<unsigned long>(n);
}

bool shortPathName(const char* path, std::string* shortPath,
                   SystemError* error) {
  std::string text = path ? path : "";
  if (text.empty()) {
    keepSystemError(error, systemError("stat ''", ENOENT));
    return false;
  }
  if (text.size() > kShortPathMax) {
    keepSystemError(error, systemError("stat '" + text + "'", ENAMETOOLONG));
    return false;
  }
  struct stat info;
  if (stat(text.c_str(), &info) != 0) {
    keepSystemError(error, lastSystemError("stat '" + text + "'"));
    return false;
  }
  *shortPath = text;
  return true;
}
