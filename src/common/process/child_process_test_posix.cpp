// child_process_test_posix.cpp: POSIX half of the child-process tests.
#include <dirent.h>

/// Descriptors open in this process, or -1 when they cannot be counted.
int openHandleCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir)
    return -1;
  int count = 0;
  while (readdir(dir))
    ++count;
  closedir(dir);
  return count;
}
