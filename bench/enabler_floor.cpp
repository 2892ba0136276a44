// enabler_floor: the floor of one enabler run: start the cpuid program,
// read its report to the end in 1 KiB reads, and, when an interpreter is
// named, run it with the given arguments and wait for it, as vmware-enabler
// runs retrieve.pl. Nothing else: no log, no parsing, no lookups.
//
//   enabler_floor CPUID [INTERPRETER ARGUMENT...]
#include "common/process/child_process.h"

#include <errno.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>

#include <memory>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: enabler_floor CPUID [INTERPRETER ARGUMENT...]\n");
    return 2;
  }
  std::unique_ptr<ChildProcess> cpuid(
      startChildProcess(argv[1], nullptr, ChildErrorOutput::kUnread));
  if (!cpuid)
    return 1;
  char buffer[1025];
  while (cpuid->output()->read(buffer, 1024) > 0) {
  }
  cpuid.reset();
  if (argc < 3)
    return 0;
  pid_t pid;
  if (posix_spawn(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0)
    return 1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
