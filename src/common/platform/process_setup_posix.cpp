// process_setup_posix.cpp: POSIX half of the process setup: the standard
// descriptors and the two signals whose inherited disposition (or, for
// SIGCHLD, mask) would change what the program does.
#include "common/platform/process_setup.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

void setDisposition(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

} // namespace

void prepareUnattendedProcess() {
  // In order from 0: open() hands out the lowest free number, which is the
  // closed one being filled.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    int opened = open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
  setDisposition(SIGCHLD, SIG_DFL);
  setDisposition(SIGPIPE, SIG_IGN);
  // A blocked mask survives exec: with SIGCHLD blocked, a released child
  // would never reach the handler that reaps it and would stay a zombie.
  sigset_t childSignal;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  sigprocmask(SIG_UNBLOCK, &childSignal, nullptr);
}
