// reaper_posix.cpp: reaping children that were released before they ended,
// from a SIGCHLD handler that waits only for them.
#include "common/process/reaper_posix.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>

namespace {

/// Process numbers of children released while they still ran, which the
/// SIGCHLD handler reaps as they end; 0 marks a free slot.
constexpr int kReleasedSlots = 64;
std::atomic<pid_t> releasedChildren[kReleasedSlots];

void reapReleasedChildren(int) {
  int savedErrno = errno;
  for (std::atomic<pid_t>& slot : releasedChildren) {
    pid_t pid = slot.load();
    if (pid <= 0)
      continue;
    pid_t done = waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD))
      slot.store(0);
  }
  errno = savedErrno;
}

bool handlesChildSignal(const struct sigaction& action, void (*handler)(int)) {
  return (action.sa_flags & SA_SIGINFO) == 0 && action.sa_handler == handler;
}

} // namespace

void reapWhenEnded(pid_t pid) {
  sigset_t childSignal, previous;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  pthread_sigmask(SIG_BLOCK, &childSignal, &previous);
  struct sigaction current;
  sigaction(SIGCHLD, nullptr, &current);
  bool ours = handlesChildSignal(current, reapReleasedChildren);
  if (!ours && handlesChildSignal(current, SIG_DFL)) {
    struct sigaction action = {};
    action.sa_handler = reapReleasedChildren;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and waits of the program carry on by themselves.
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    ours = sigaction(SIGCHLD, &action, nullptr) == 0;
  }
  if (ours) {
    for (std::atomic<pid_t>& slot : releasedChildren) {
      pid_t free = 0;
      if (slot.compare_exchange_strong(free, pid))
        break;
    }
    // The child may have ended before the handler was in place.
    reapReleasedChildren(0);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
