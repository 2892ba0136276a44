#include "enabler/common/frame.h"

#include "common/program_info.h"
#include "enabler/common/exit_status.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

/// The text as the log file holds it: each "\n" as the platform's line end.
std::string onDisk(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += kEol;
    else
      out += c;
  }
  return out;
}

/// An argument vector built from literals, argv[0] first.
class Argv {
public:
  explicit Argv(std::vector<std::string> args) : args_(std::move(args)) {
    for (std::string& a : args_)
      pointers_.push_back(&a[0]);
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(args_.size()); }
  char** argv() { return pointers_.data(); }

private:
  std::vector<std::string> args_;
  std::vector<char*> pointers_;
};

// What the test workers saw and do.
int workerRuns = 0;
int workerStatus = 0;
bool workerSawVerbose = false;

void vsWorker() {
  ++workerRuns;
  workerSawVerbose = verbose;
  debugLog("worker %d\n", workerStatus);
  returnCode = workerStatus;
}

int vmwareWorker() {
  ++workerRuns;
  workerSawVerbose = verbose;
  debugLog("worker %d\n", workerStatus);
  closeLogFile();
  return workerStatus;
}

class FrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    workerRuns = 0;
    workerStatus = 0;
    workerSawVerbose = false;
  }
  void TearDown() override { resetFrame(EnablerProgram::VirtualServer); }
  bool logExists() const {
    return std::filesystem::exists(std::filesystem::path(dir.path()) /
                                   "en_out.txt");
  }
  std::string log() const { return readTestFile("en_out.txt"); }

  TempDir dir;
};

TEST_F(FrameTest, HasArgumentComparesWholeArgumentsAfterTheName) {
  Argv args({"-v", "-version", "x"});
  struct Case {
    int argc;
    char** argv;
    const char* text;
    bool expected;
    const char* why;
  };
  const Case cases[] = {
      {3, args.argv(), "-version", true, "second argument"},
      {3, args.argv(), "x", true, "last argument"},
      {3, args.argv(), "-v", false, "program name is never compared"},
      {3, args.argv(), "-VERSION", false, "case-sensitive"},
      {3, args.argv(), "-vers", false, "prefix is not a match"},
      {3, args.argv(), "-versionx", false, "longer text is not a match"},
      {2, args.argv(), "x", false, "beyond argc is not looked at"},
      {1, args.argv(), "-version", false, "argc 1"},
      {0, args.argv(), "-version", false, "argc 0"},
      {3, nullptr, "x", false, "null vector"},
      {3, args.argv(), nullptr, false, "null text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(c.expected, hasArgument(c.argc, c.argv, c.text));
  }
}

TEST_F(FrameTest, LogWritesAreGuardedByVerboseAndFormat) {
  logFile = fopen("en_out.txt", "w");
  ASSERT_NE(nullptr, logFile);
  verbose = false;
  debugLog("hidden %d\n", 1);
  logText("hidden\n");
  verbose = true;
  const char* empty = "";
  debugLog(empty);
  debugLog(nullptr);
  debugLog("shown %d\n", 2);
  logText("OK: direct %s\n", "line");
  closeLogFile();
  EXPECT_EQ(nullptr, logFile);
  // After the close, writes go nowhere and do not crash.
  debugLog("after close\n");
  logText("after close\n");
  EXPECT_EQ(onDisk("DBG: shown 2\nOK: direct line\n"), log());
}

TEST_F(FrameTest, VirtualServerDebugLinesReachTheDiskAtOnce) {
  resetFrame(EnablerProgram::VirtualServer);
  logFile = fopen("en_out.txt", "w");
  ASSERT_NE(nullptr, logFile);
  verbose = true;
  debugLog("probe %s\n", "failed");
  // The stream is still open: only a flush puts the line on disk.
  EXPECT_EQ(onDisk("DBG: probe failed\n"), log());
  logText("labelled=%d\n", 3);
  flushLog();
  EXPECT_EQ(onDisk("DBG: probe failed\nlabelled=3\n"), log());
}

struct AcceptanceCase {
  std::vector<std::string> args;
  bool accepted;
  bool log;
  bool banner;
  const char* why;
};

const AcceptanceCase kAcceptance[] = {
    {{"prog"}, true, false, false, "no arguments"},
    {{"prog", "-v"}, true, true, false, "log flag"},
    {{"prog", "-version"}, true, false, true, "version flag"},
    {{"prog", "-v", "-version"}, true, true, true, "both flags"},
    {{"prog", "-version", "-v"}, true, true, true, "both flags reversed"},
    {{"prog", "-v", "-v"}, false, false, false, "log flag twice"},
    {{"prog", "-x"}, false, false, false, "unknown argument"},
    {{"prog", "-V"}, false, false, false, "flag in capitals"},
    {{"prog", "-v", "-x"}, false, false, false, "flag and unknown argument"},
    {{"prog", "-v", "-version", "-v"}, false, false, false, "three arguments"},
    {{"prog", "-x", "-y", "-z"}, false, false, false, "three unknown"},
};

const char kVsBanner[] =
    "KEP Enabler (08/06/19 17:11:59 "
    "src/enabler/MSVirtualServer/EnablerVirtualServer, enabler, kep_2.5, "
    "20080619v2.5)\n";
const char kVmwareBanner[] =
    "KEP Enabler (07/02/06 14:15:53 src/enabler/VMWare/w32/enablerh, enabler, "
    "kepdev, 20070206dev)\n";

TEST_F(FrameTest, VirtualServerAcceptsOnlyTheTwoFlags) {
  for (const AcceptanceCase& c : kAcceptance) {
    SCOPED_TRACE(c.why);
    std::filesystem::remove("en_out.txt");
    workerRuns = 0;
    workerStatus = kVsSetFailed;
    Argv args(c.args);
    ::testing::internal::CaptureStderr();
    int status = runVirtualServerFrame(args.argc(), args.argv(), vsWorker);
    std::string err = ::testing::internal::GetCapturedStderr();
    if (!c.accepted) {
      EXPECT_EQ(kVsUsage, status);
      EXPECT_EQ("Usage: prog [ -v ]\n", err);
      EXPECT_EQ(0, workerRuns);
      EXPECT_FALSE(logExists());
      continue;
    }
    EXPECT_EQ(kVsSetFailed, status);
    EXPECT_EQ(1, workerRuns);
    EXPECT_EQ(c.log, workerSawVerbose);
    EXPECT_EQ(c.banner ? std::string(kVsBanner) : std::string(), err);
    EXPECT_EQ(c.log, logExists());
  }
}

TEST_F(FrameTest, VMwareAcceptsOnlyTheTwoFlags) {
  for (const AcceptanceCase& c : kAcceptance) {
    SCOPED_TRACE(c.why);
    std::filesystem::remove("en_out.txt");
    workerRuns = 0;
    workerStatus = kVmwScriptStatus6;
    Argv args(c.args);
    ::testing::internal::CaptureStderr();
    int status = runVMwareFrame(args.argc(), args.argv(), vmwareWorker);
    std::string err = ::testing::internal::GetCapturedStderr();
    if (!c.accepted) {
      EXPECT_EQ(kVmwUsage, status);
      EXPECT_EQ("Usage: prog [ -v ]\n", err);
      EXPECT_EQ(0, workerRuns);
      EXPECT_FALSE(logExists());
      continue;
    }
    EXPECT_EQ(kVmwScriptStatus6, status);
    EXPECT_EQ(1, workerRuns);
    EXPECT_EQ(c.log, workerSawVerbose);
    EXPECT_EQ(c.banner ? std::string(kVmwareBanner) : std::string(), err);
    EXPECT_EQ(c.log, logExists());
  }
}

TEST_F(FrameTest, VirtualServerLogFramesTheWorkerWithItsStatus) {
  struct Case {
    int status;
    const char* expected;
  };
  const Case cases[] = {
      {kVsOk, "Log file opened\nDBG: worker 0\n\nOK: Return code 0\n"
              "\nClosing log file\n"},
      {kVsSetFailed, "Log file opened\nDBG: worker 5\n\nERROR: Return code 5\n"
                     "\nClosing log file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    workerStatus = c.status;
    Argv args({"vs-enabler", "-v"});
    EXPECT_EQ(c.status,
              runVirtualServerFrame(args.argc(), args.argv(), vsWorker));
    EXPECT_EQ(nullptr, logFile);
    EXPECT_EQ(onDisk(c.expected), log());
  }
}

TEST_F(FrameTest, VirtualServerStatusStartsAtZeroEachRun) {
  workerStatus = kVsNotReachable;
  Argv args({"vs-enabler"});
  EXPECT_EQ(kVsNotReachable,
            runVirtualServerFrame(args.argc(), args.argv(), vsWorker));
  // A worker that records no failure leaves the initial 0.
  EXPECT_EQ(kVsOk, runVirtualServerFrame(args.argc(), args.argv(), [] {}));
}

TEST_F(FrameTest, VMwareLogHasOnlyTheWorkerLines) {
  workerStatus = kVmwOk;
  Argv args({"vmware-enabler", "-v"});
  EXPECT_EQ(kVmwOk, runVMwareFrame(args.argc(), args.argv(), vmwareWorker));
  EXPECT_EQ(onDisk("DBG: worker 0\n"), log());
}

TEST_F(FrameTest, UncreatableLogLeavesTheRunWithoutLog) {
  // A directory named en_out.txt cannot be opened as a file, even by root.
  std::filesystem::create_directory("en_out.txt");
  // Standard error says why, below the banner, and nothing else changes.
  const std::string why = ": no log: ";
  auto lines = [](std::string text) { // as written, without text mode's CRs
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  {
    SCOPED_TRACE("vs-enabler");
    workerStatus = kVsCapacityUnread;
    Argv args({"vs-enabler", "-version", "-v"});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kVsCapacityUnread,
              runVirtualServerFrame(args.argc(), args.argv(), vsWorker));
    std::string err = lines(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(0u, err.find(std::string(kVsBanner) + "vs-enabler" + why)) << err;
    EXPECT_NE(std::string::npos, err.find("en_out.txt")) << err;
    EXPECT_FALSE(workerSawVerbose);
    EXPECT_EQ(nullptr, logFile);
  }
  {
    SCOPED_TRACE("vmware-enabler");
    workerStatus = kVmwNoIdentity;
    Argv args({"vmware-enabler", "-v", "-version"});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kVmwNoIdentity,
              runVMwareFrame(args.argc(), args.argv(), vmwareWorker));
    std::string err = lines(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(0u, err.find(std::string(kVmwareBanner) + "vmware-enabler" + why))
        << err;
    EXPECT_FALSE(workerSawVerbose);
  }
  EXPECT_TRUE(std::filesystem::is_directory("en_out.txt"));
}

// The administrator's options: help and version answer without the job, the
// dry run takes the worker's place inside the usual frame, a refused line
// gets the usual usage line.
int dryRuns = 0;

void vsDryRun() {
  ++dryRuns;
  workerSawVerbose = verbose;
  returnCode = kVsCapacityUnread;
}

int vmwareDryRun() {
  ++dryRuns;
  workerSawVerbose = verbose;
  closeLogFile();
  return kVmwNoIdentity;
}

TEST_F(FrameTest, AdministratorsOptionsAnswerOrRunTheDryRun) {
  enum Outcome { kHelpText, kVersionText, kDryRun, kUsage };
  struct Case {
    std::vector<std::string> args;
    Outcome outcome;
    bool log;
    bool banner;
    std::string refused = ""; ///< what the refusal's second line names
  };
  // clang-format off
  const Case cases[] = {
      {{"prog", "--help"}, kHelpText, false, false},
      {{"prog", "-v", "/?"}, kHelpText, false, false},
      {{"prog", "--version", "-v"}, kVersionText, false, false},
      {{"prog", "--dry-run"}, kDryRun, false, false},
      {{"prog", "-version", "--dry-run", "-v"}, kDryRun, true, true},
      {{"prog", "--dry-run", "-x"}, kUsage, false, false, "'-x' not understood"},
      {{"prog", "--dryrun"}, kUsage, false, false, "'--dryrun' not understood"},
      {{"prog", "-v", "-V"}, kUsage, false, false, "'-V' not understood"},
      {{"prog", "-v", "--dry-run", "-v"}, kUsage, false, false,
       "'-v' given twice"},
      {{"prog", "-v", "-version", "-v"}, kUsage, false, false,
       "'-v' given twice"},
  };
  // clang-format on
  const VirtualServerProgram vs = {"vs-enabler", "vs help\n", vsWorker,
                                   vsDryRun};
  const VMwareProgram vmware = {"vmware-enabler", "vmware help\n", vmwareWorker,
                                vmwareDryRun};
  for (bool isVs : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(isVs ? "vs " : "vmware ") + c.args[1]);
      std::filesystem::remove("en_out.txt");
      workerRuns = dryRuns = 0;
      workerSawVerbose = false;
      Argv args(c.args);
      ::testing::internal::CaptureStdout();
      ::testing::internal::CaptureStderr();
      int status = isVs ? runVirtualServerFrame(args.argc(), args.argv(), vs)
                        : runVMwareFrame(args.argc(), args.argv(), vmware);
      std::string err = ::testing::internal::GetCapturedStderr();
      std::string out = ::testing::internal::GetCapturedStdout();
      const char* name = isVs ? vs.name : vmware.name;
      const char* banner = isVs ? kVsBanner : kVmwareBanner;
      EXPECT_EQ(0, workerRuns);
      EXPECT_EQ(c.outcome == kDryRun ? 1 : 0, dryRuns);
      EXPECT_EQ(c.log, logExists());
      EXPECT_EQ(c.log, workerSawVerbose);
      switch (c.outcome) {
      case kHelpText:
        EXPECT_EQ(0, status);
        EXPECT_EQ(isVs ? vs.help : vmware.help, out);
        EXPECT_EQ("", err);
        break;
      case kVersionText:
        EXPECT_EQ(0, status);
        EXPECT_EQ(std::string(banner) + name + " release " +
                      std::string(releaseVersion()) + "\n",
                  out);
        EXPECT_EQ("", err);
        break;
      case kDryRun:
        EXPECT_EQ(isVs ? int(kVsCapacityUnread) : int(kVmwNoIdentity), status);
        EXPECT_EQ("", out);
        EXPECT_EQ(c.banner ? std::string(banner) : std::string(), err);
        break;
      case kUsage:
        EXPECT_EQ(isVs ? int(kVsUsage) : int(kVmwUsage), status);
        EXPECT_EQ("", out);
        EXPECT_EQ("Usage: prog [ -v ]\n" + std::string(name) + ": " +
                      c.refused +
                      " (options: -v -version --dry-run --help --version)\n",
                  err);
        break;
      }
    }
  }
}

TEST_F(FrameTest, ProgramWithoutAnswersRefusesTheAdministratorsOptions) {
  for (const char* option : {"--help", "--version", "--dry-run"}) {
    SCOPED_TRACE(option);
    Argv args({"prog", option});
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kVsUsage,
              runVirtualServerFrame(args.argc(), args.argv(), vsWorker));
    EXPECT_EQ("Usage: prog [ -v ]\n", ::testing::internal::GetCapturedStderr());
  }
}

} // namespace
