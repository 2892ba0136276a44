// pipe_posix.cpp: the POSIX pipe ends: reading with a wait that watches the
// child, and writing that a gone reader cannot end with SIGPIPE.
#include "common/process/pipe_posix.h"

#include "common/platform/monotonic_clock.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

int aboveStandardFds(int fd) {
  if (fd < 0 || fd > 2)
    return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

Pipe::Pipe(bool create) {
  int fds[2];
  if (create && pipe2(fds, O_CLOEXEC) == 0) {
    readEnd.reset(aboveStandardFds(fds[0]));
    writeEnd.reset(aboveStandardFds(fds[1]));
  }
}

/// Whether the watched child has ended. The child is left unreaped, so that
/// its number, which is also its group's, can belong to no other process
/// while the group is ended.
bool PipeReader::childEnded() {
  if (child_ > 0 && !childEnded_) {
    siginfo_t info = {};
    int done;
    do
      done = waitid(P_PID, static_cast<id_t>(child_), &info,
                    WEXITED | WNOHANG | WNOWAIT);
    while (done < 0 && errno == EINTR);
    // ECHILD: reaped already, so ended; its group is then left alone.
    if (done < 0 && errno == ECHILD) {
      child_ = -1;
      childEnded_ = true;
    } else if (done == 0 && info.si_pid == child_) {
      childEnded_ = true;
    }
  }
  return childEnded_;
}

bool PipeReader::holdsBytes() {
  struct pollfd watched = {fd_.get(), POLLIN, 0};
  int ready;
  do
    ready = poll(&watched, 1, 0);
  while (ready < 0 && errno == EINTR);
  return ready != 0;
}

int PipeReader::read(char* buffer, int count) {
  if (count < 0)
    return 0;
  ssize_t got = 0;
  readError_ = SystemError();
  if (fd_.valid() && count > 0) {
    // The child has ended and the pipe holds nothing: whatever still holds
    // the write end was started by the child and is ended, and the output
    // ends here instead of when that process lets go.
    if (childEnded() && !holdsBytes()) {
      if (child_ > 0)
        kill(-child_, SIGKILL);
      child_ = -1;
      fd_.close();
    } else {
      do
        got = ::read(fd_.get(), buffer, count);
      while (got < 0 && errno == EINTR);
      if (got < 0) {
        readError_ = lastSystemError("read");
        got = 0;
      }
    }
  }
  buffer[got] = 0;
  return static_cast<int>(got);
}

bool PipeReader::waitReadable(long milliseconds) {
  if (!fd_.valid())
    return true;
  // While a child is watched the pipe is polled in pauses that grow to 50 ms,
  // between which the child's end is looked for: a child that ended leaves
  // the pipe ready to end.
  const Deadline deadline(monotonicMilliseconds(), milliseconds);
  const uint32_t kLongestPoll = 1u << 30; // poll takes an int
  uint32_t pause = child_ > 0 ? 1 : kLongestPoll;
  for (;;) {
    if (childEnded())
      return true;
    uint32_t left = deadline.millisecondsLeft(monotonicMilliseconds());
    uint32_t step = left < pause ? left : pause;
    struct pollfd watched = {fd_.get(), POLLIN, 0};
    int ready = poll(&watched, 1, static_cast<int>(step));
    if (ready > 0)
      return true;
    // A signal (a released child that ended) cuts the wait short; the rest
    // of it is waited for. Any other failure is the read's to report.
    if (ready < 0 && errno != EINTR)
      return true;
    if (ready == 0 && step == left)
      return childEnded();
    if (pause < 50)
      pause *= 2;
  }
}

int PipeWriter::write(const char* buffer, int count) {
  if (!fd_.valid() || count <= 0)
    return 0;
  // A write to a child that has closed its standard input would end the
  // enabler with SIGPIPE. The signal is blocked around the write, and one that
  // the write itself raised is taken back, so the write just fails (EPIPE).
  sigset_t pipeSignal, previous, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  sigpending(&pending);
  bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  ssize_t written;
  do
    written = ::write(fd_.get(), buffer, count);
  while (written < 0 && errno == EINTR);
  if (written < 0 && errno == EPIPE && !alreadyPending) {
    const struct timespec noWait = {0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return written > 0 ? static_cast<int>(written) : 0;
}
