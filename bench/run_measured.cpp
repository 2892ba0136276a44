// run_measured: runs one program and prints what it cost, for the process
// figures of process_bench.py:
//
//   run_measured DIR PROGRAM [ARGUMENT...]
//   -> "<wall seconds> <peak resident KiB> <exit status>"
//
// The program runs in DIR with this process's environment and the null
// device on its standard handles. It is started with fork and exec from this
// small process, because Linux counts the memory of the process that made
// the exec into the peak resident size of what it starts: started straight
// from Python, every program would show at least the interpreter's size.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

double now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: run_measured DIR PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  if (chdir(argv[1]) != 0) {
    perror(argv[1]);
    return 2;
  }
  double start = now();
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    return 2;
  }
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      perror("wait4");
      return 2;
    }
  }
  double seconds = now() - start;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  printf("%.9f %ld %d\n", seconds, usage.ru_maxrss, code);
  return 0;
}
