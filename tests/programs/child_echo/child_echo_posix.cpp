// child_echo_posix.cpp: POSIX half of child_echo: nanosleep, and
// posix_spawn of its own executable.
#include <errno.h>
#include <spawn.h>
#include <time.h>

extern char** environ;

void sleepMilliseconds(long milliseconds) {
  timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

unsigned long startLingering(const char* milliseconds) {
  char name[] = "child_echo", sleep[] = "sleep";
  char* argv[] = {name, sleep, const_cast<char*>(milliseconds), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ))
    return 0;
  return static_cast<unsigned long>(pid);
}
