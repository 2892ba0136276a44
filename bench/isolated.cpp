// isolated.cpp: measurements in forked children.
#include "isolated.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(fd, p, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    p += written;
    size -= size_t(written);
  }
  return true;
}

bool readAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t got = read(fd, p, size);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    p += got;
    size -= size_t(got);
  }
  return true;
}

[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "bench: %s\n", what);
  exit(1);
}

} // namespace

std::vector<double>
runIsolated(const std::function<std::vector<double>()>& work) {
  int fds[2];
  if (pipe(fds) != 0)
    fail("cannot make a pipe");
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid < 0)
    fail("cannot fork");
  if (pid == 0) {
    close(fds[0]);
    std::vector<double> numbers = work();
    uint64_t count = numbers.size();
    bool sent = writeAll(fds[1], &count, sizeof count) &&
                writeAll(fds[1], numbers.data(), count * sizeof(double));
    fflush(stdout);
    _exit(sent ? 0 : 1);
  }
  close(fds[1]);
  uint64_t count = 0;
  std::vector<double> numbers;
  bool received = readAll(fds[0], &count, sizeof count);
  if (received && count < (1u << 28)) {
    numbers.resize(count);
    received = readAll(fds[0], numbers.data(), count * sizeof(double));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    fail("a measurement failed");
  return numbers;
}
