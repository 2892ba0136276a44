// child_process_posix_test.cpp: POSIX half of the child-process tests: what
// a child inherits of the enabler's signals, and the reaping of released
// children.
#include "common/process/child_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

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

namespace {

using ChildPtr = std::unique_ptr<ChildProcess>;

ChildPtr startEcho(const char* arguments) {
  return ChildPtr(
      startChildProcess(testProgramPath("child_echo").c_str(), arguments));
}

/// The child's output up to its first line end.
std::string firstLine(ChildProcess* child) {
  std::string text;
  char buffer[4097];
  int got;
  while (text.find('\n') == std::string::npos &&
         (got = child->output()->read(buffer, 4096)) > 0)
    text.append(buffer, got);
  return text.substr(0, text.find('\n'));
}

/// The state letter of process `pid` (R, S, Z, ...), or 0 once it is gone.
char processState(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return 0;
  size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() ? line[close + 2]
                                                               : 0;
}

/// The signal set of the line `name` of a /proc/<pid>/status text; all bits
/// set when the line is missing.
unsigned long long signalBits(const std::string& status,
                              const std::string& name) {
  size_t at = status.find("\n" + name + ":\t");
  if (at == std::string::npos)
    return ~0ull;
  return std::stoull(status.substr(at + name.size() + 3, 16), nullptr, 16);
}

TEST(ChildProcessPosixTest, TerminateEndsChildWithCodeZero) {
  ChildPtr child = startEcho("drain exit 9");
  ASSERT_TRUE(child);
  EXPECT_TRUE(child->terminate());
  EXPECT_EQ(0, child->wait());
  EXPECT_EQ("", firstLine(child.get()));
}

TEST(ChildProcessPosixTest, ChildStartsWithNoSignalBlockedOrIgnored) {
  struct sigaction ignore = {}, oldHangUp;
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(0, sigaction(SIGHUP, &ignore, &oldHangUp));
  sigset_t user, oldMask;
  sigemptyset(&user);
  sigaddset(&user, SIGUSR1);
  ASSERT_EQ(0, pthread_sigmask(SIG_BLOCK, &user, &oldMask));

  ChildPtr child = startEcho("cat /proc/self/status");
  sigaction(SIGHUP, &oldHangUp, nullptr);
  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  ASSERT_TRUE(child);
  std::string status;
  char buffer[4097];
  int got;
  while ((got = child->output()->read(buffer, 4096)) > 0)
    status.append(buffer, got);
  EXPECT_EQ(0u, signalBits(status, "SigBlk")) << status;
  // The C library's own signals (from 32 on) are its business.
  EXPECT_EQ(0u, signalBits(status, "SigIgn") & 0x7fffffffu) << status;
}

TEST(ChildProcessPosixTest, CallersDescriptorsDoNotReachTheChild) {
  // A descriptor left open without close-on-exec, as a caller leaves one (a
  // lock that flock holds for the run, say). Were the child to hold a copy
  // of the write end, the pipe would not end while the child sleeps.
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  ChildPtr child = startEcho("sleep 5000");
  ASSERT_TRUE(child);
  close(ends[1]);
  struct pollfd watched = {ends[0], POLLIN, 0};
  EXPECT_EQ(1, poll(&watched, 1, 3000));
  EXPECT_TRUE(watched.revents & POLLHUP);
  close(ends[0]);
  child->terminate();
  child->wait();
}

TEST(ChildProcessPosixTest, ReleasedChildIsReapedOnceItEnds) {
  ChildPtr child = startEcho("cat /proc/self/stat sleep 300");
  ASSERT_TRUE(child);
  std::string pid = firstLine(child.get());
  pid = pid.substr(0, pid.find(' '));
  ASSERT_FALSE(pid.empty());
  child.reset();
  ASSERT_NE(0, processState(pid)) << "still running when released";
  char state = 'R';
  for (int i = 0; i < 100 && state != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state = processState(pid);
  }
  EXPECT_EQ(0, state) << "left as state " << state;
}

} // namespace

bool processEndsWithin(unsigned long pid, long milliseconds) {
  // A process that ended but is not yet reaped by its new parent counts as
  // ended.
  for (long waited = 0;; waited += 20) {
    char state = processState(std::to_string(pid));
    if (state == 0 || state == 'Z')
      return true;
    if (waited >= milliseconds)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
