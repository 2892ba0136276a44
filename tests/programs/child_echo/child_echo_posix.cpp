// child_echo_posix.cpp: POSIX half of child_echo; the streams are binary
// already.
#include <errno.h>
#include <time.h>

void setBinaryStreams() {}

void sleepMilliseconds(long milliseconds) {
  timespec wait = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}
