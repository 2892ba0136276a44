// platform_posix_test.cpp: what only the POSIX half of the platform meets:
// named pipes, devices and symbolic links where a file is expected, the
// dispositions a caller leaves to the process, and the clock.
#include "common/platform/files.h"
#include "common/platform/monotonic_clock.h"
#include "common/platform/process_setup.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

TEST(FilesPosixTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string fifo =
      (std::filesystem::path(dir.path()) / "fifo").string();
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& path :
       {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    std::string content;
    SystemError error;
    EXPECT_FALSE(readRegularFile(path, 1 << 20, &content, &error));
    EXPECT_NE(std::string::npos, error.message().find("not a regular file"))
        << error.message();
  }
}

TEST(RunLogPosixTest, LinksPipesAndDevicesAreNoLogAndStayAsTheyWere) {
  TempDir dir;
  const std::filesystem::path base(dir.path());
  const std::string target = (base / "target").string();
  ASSERT_TRUE(writeTestFile(target, "someone else's file\n"));
  ASSERT_EQ(0, symlink(target.c_str(), (base / "link").c_str()));
  ASSERT_EQ(0, link(target.c_str(), (base / "hard-link").c_str()));
  ASSERT_EQ(0,
            symlink((base / "nowhere").c_str(), (base / "dangling").c_str()));
  ASSERT_EQ(0, mkfifo((base / "fifo").c_str(), 0600));
  // A named pipe with a reader opens without waiting; it is still no file.
  ASSERT_EQ(0, mkfifo((base / "read-fifo").c_str(), 0600));
  int reader = open((base / "read-fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);

  for (const char* name :
       {"link", "hard-link", "dangling", "fifo", "read-fifo"}) {
    SCOPED_TRACE(name);
    SystemError error;
    EXPECT_EQ(nullptr, openRunLog((base / name).string(), &error));
    EXPECT_TRUE(error.failed());
  }
  SystemError error;
  EXPECT_EQ(nullptr, openRunLog("/dev/null", &error));
  EXPECT_NE(std::string::npos, error.message().find("not a regular file"))
      << error.message();
  close(reader);
  EXPECT_EQ("someone else's file\n", readTestFile(target));
  EXPECT_FALSE(std::filesystem::exists(base / "nowhere"));
}

TEST(ProcessSetupPosixTest, CallersSignalDispositionsAreReplaced) {
  struct sigaction ignore = {}, oldChild, oldPipe, now;
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(0, sigaction(SIGCHLD, &ignore, &oldChild));
  ASSERT_EQ(0, sigaction(SIGPIPE, nullptr, &oldPipe));
  prepareUnattendedProcess();
  sigaction(SIGCHLD, nullptr, &now);
  EXPECT_EQ(SIG_DFL, now.sa_handler) << "children can be waited for";
  sigaction(SIGPIPE, nullptr, &now);
  EXPECT_EQ(SIG_IGN, now.sa_handler) << "a write without reader just fails";
  sigaction(SIGCHLD, &oldChild, nullptr);
  sigaction(SIGPIPE, &oldPipe, nullptr);
}

TEST(ProcessSetupPosixTest, CallersBlockedChildSignalIsUnblocked) {
  sigset_t childSignal, old, now;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  ASSERT_EQ(0, sigprocmask(SIG_BLOCK, &childSignal, &old));
  prepareUnattendedProcess();
  sigprocmask(SIG_SETMASK, nullptr, &now);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  EXPECT_EQ(0, sigismember(&now, SIGCHLD)) << "released children are reaped";
}

TEST(ProcessSetupPosixTest, ClosedStandardDescriptorGetsTheNullDevice) {
  int saved = dup(0);
  ASSERT_GE(saved, 0);
  close(0);
  prepareUnattendedProcess();
  struct stat standard, null;
  bool filled = fstat(0, &standard) == 0;
  dup2(saved, 0);
  close(saved);
  ASSERT_TRUE(filled);
  ASSERT_EQ(0, stat("/dev/null", &null));
  EXPECT_EQ(null.st_rdev, standard.st_rdev);
}

TEST(MonotonicClockPosixTest, CountsTheMonotonicClockNotTheWallClock) {
  // CLOCK_REALTIME (the wall clock) counts from 1970 and CLOCK_BOOTTIME goes
  // on through a suspend; either would fall outside these readings.
  auto monotonic = [] {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                                 now.tv_nsec / 1000000);
  };
  uint32_t before = monotonic();
  uint32_t reading = monotonicMilliseconds();
  uint32_t after = monotonic();
  EXPECT_LE(reading - before, after - before)
      << before << " <= " << reading << " <= " << after;
}

} // namespace
