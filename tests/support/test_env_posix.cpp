// test_env_posix.cpp: POSIX half of the test support.
#include "test_util.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

void setTestEnv(const char* name, const char* value) {
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

std::string testBinDir() {
  char path[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
  if (n <= 0)
    return ".";
  path[n] = 0;
  char* slash = strrchr(path, '/');
  if (slash)
    *slash = 0;
  return path;
}
