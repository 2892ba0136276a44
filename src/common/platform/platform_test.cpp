#include "common/platform/environment.h"
#include "common/platform/files.h"
#include "common/platform/monotonic_clock.h"
#include "common/platform/paths.h"
#include "common/platform/system_error.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <limits.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

bool onWindows() {
  return pathSeparator() == '\\';
}

TEST(EnvironmentTest, SetEmptyAndRemovedAreThreeStates) {
  const char* name = "KEP_PLATFORM_TEST_VARIABLE";
  ScopedEnv clean(name, nullptr);
  EXPECT_FALSE(getEnvironment(name));
  EXPECT_TRUE(removeEnvironment(name)) << "removing an unset variable";

  ASSERT_TRUE(setEnvironment(name, "a value with blanks"));
  EXPECT_EQ("a value with blanks", getEnvironment(name).value_or("unset"));
  // A value longer than the first buffer the Windows half offers.
  const std::string longValue(5000, 'x');
  ASSERT_TRUE(setEnvironment(name, longValue));
  EXPECT_EQ(longValue, getEnvironment(name).value_or("unset"));
  ASSERT_TRUE(setEnvironment(name, ""));
  EXPECT_EQ("", getEnvironment(name).value_or("unset"));

  ASSERT_TRUE(removeEnvironment(name));
  EXPECT_FALSE(getEnvironment(name));
}

TEST(PathsTest, AbsolutePathIsRecognisedPerPlatform) {
  struct Case {
    const char* path;
    bool posix;
    bool windows;
  };
  const Case cases[] = {
      {"/opt/k/cpuid", true, true},
      {"\\k\\cpuid.exe", false, true},
      {"C:\\k\\cpuid.exe", false, true},
      {"c:/k/cpuid.exe", false, true},
      {"C:cpuid.exe", false, false},
      {"1:\\cpuid.exe", false, false},
      {"cpuid", false, false},
      {"bin/cpuid", false, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(onWindows() ? c.windows : c.posix, isAbsolutePath(c.path));
  }
}

TEST(PathsTest, OwnPathIsTheTestProgramAndReportsWhenCut) {
  char buffer[1025];
  unsigned long length = ownExecutablePath(buffer, 1024);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, 1024u);
  EXPECT_EQ(fs::path(testBinDir()), fs::path(buffer).parent_path());
  EXPECT_EQ(programFileName("unit_tests"), fs::path(buffer).filename());

  char small[6];
  EXPECT_GE(ownExecutablePath(small, 5), 5u) << "a cut path reports its size";
}

TEST(PathsTest, ShortPathNeedsAnExistingFittingPath) {
  TempDir dir;
  const fs::path existing = fs::path(dir.path()) / "Vm Perl dir";
  fs::create_directory(existing);
  std::string shortPath;
  ASSERT_TRUE(shortPathName(existing.string().c_str(), &shortPath));
  EXPECT_TRUE(fs::is_directory(shortPath)) << shortPath;
  EXPECT_LE(shortPath.size(), kShortPathMax);

  SystemError error;
  const std::string missing = (fs::path(dir.path()) / "no such dir").string();
  EXPECT_FALSE(shortPathName(missing.c_str(), &shortPath, &error));
  EXPECT_NE(std::string::npos, error.message().find(missing))
      << error.message();
  EXPECT_FALSE(shortPathName("", &shortPath));
  // A path of 1024 characters cannot have a fitting short form unless it
  // shrinks; one that names nothing fails in any case.
  std::string deep = dir.path();
  while (deep.size() < kShortPathMax + 10)
    deep += pathSeparator() + std::string("d");
  EXPECT_FALSE(shortPathName(deep.c_str(), &shortPath));
}

TEST(FilesTest, OnlyARegularFileWithinTheLimitIsRead) {
  TempDir dir;
  const std::string file = (fs::path(dir.path()) / "model").string();
  ASSERT_TRUE(writeTestFile(file, std::string("a\0b\r\n", 5)));
  std::string content = "untouched";
  ASSERT_TRUE(readRegularFile(file, 5, &content));
  EXPECT_EQ(std::string("a\0b\r\n", 5), content) << "binary, whole";

  struct Case {
    std::string path;
    size_t limit;
    const char* why;
  };
  const Case cases[] = {
      {file, 4, "one byte over the limit"},
      {dir.path(), 1 << 20, "a directory"},
      {(fs::path(dir.path()) / "missing").string(), 1 << 20, "missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    content = "untouched";
    SystemError error;
    EXPECT_FALSE(readRegularFile(c.path, c.limit, &content, &error));
    EXPECT_EQ("untouched", content);
    EXPECT_TRUE(error.failed());
  }
}

TEST(RunLogTest, EmptiesTheFileAndWritesInTextMode) {
  TempDir dir;
  const std::string log = (fs::path(dir.path()) / "en_out.txt").string();
  ASSERT_TRUE(writeTestFile(log, "an earlier run's longer log\n"));
  FILE* stream = openRunLog(log);
  ASSERT_NE(nullptr, stream);
  fputs("one\ntwo\n", stream);
  fclose(stream);
  EXPECT_EQ(onWindows() ? "one\r\ntwo\r\n" : "one\ntwo\n", readTestFile(log));

  const std::string absent = (fs::path(dir.path()) / "new.txt").string();
  stream = openRunLog(absent);
  ASSERT_NE(nullptr, stream) << "an absent log is created";
  fclose(stream);
  EXPECT_EQ("", readTestFile(absent));
}

TEST(RunLogTest, LogHeldByAnotherRunIsLeftAlone) {
  TempDir dir;
  const std::string log = (fs::path(dir.path()) / "en_out.txt").string();
  FILE* first = openRunLog(log);
  ASSERT_NE(nullptr, first);
  fputs("first run\n", first);
  fflush(first);

  SystemError error;
  EXPECT_EQ(nullptr, openRunLog(log, &error));
  EXPECT_TRUE(error.failed());
  fputs("still first\n", first);
  fclose(first);
  EXPECT_EQ(onWindows() ? "first run\r\nstill first\r\n"
                        : "first run\nstill first\n",
            readTestFile(log))
      << "neither emptied nor written by the second run";

  FILE* next = openRunLog(log);
  EXPECT_NE(nullptr, next) << "free again once the first run closed it";
  if (next)
    fclose(next);
}

TEST(RunLogTest, DirectoryIsNoLog) {
  TempDir dir;
  SystemError error;
  EXPECT_EQ(nullptr, openRunLog(dir.path(), &error));
  EXPECT_TRUE(error.failed());
}

TEST(SystemErrorTest, MessageNamesTheOperationTheReasonAndTheCode) {
  EXPECT_FALSE(SystemError().failed());
  EXPECT_EQ("", SystemError().message());
  // ENOENT and ERROR_FILE_NOT_FOUND are both 2.
  SystemError error = systemError("open 'x'", 2);
  EXPECT_TRUE(error.failed());
  std::string message = error.message();
  EXPECT_EQ(0u, message.find("open 'x': ")) << message;
  EXPECT_NE(std::string::npos, message.find("(error 2)")) << message;
  EXPECT_GT(message.size(), std::string("open 'x':  (error 2)").size())
      << "the system's own text is in the message";
  EXPECT_NE('\n', message.back());
}

TEST(SystemErrorTest, DiagnosticToAFileKeepsItsBytes) {
  TempDir dir;
  const std::string path = (fs::path(dir.path()) / "notes.txt").string();
  FILE* notes = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, notes);
  printDiagnostic(notes, "tool: %s (error %d)\n", "Acc\xe8s refus\xe9", 5);
  fclose(notes);
  EXPECT_EQ("tool: Acc\xe8s refus\xe9 (error 5)\n", readTestFile(path));
}

TEST(MonotonicClockTest, DeadlineCountsAcrossTheWraparound) {
  const uint32_t kTop = 0xFFFFFFFFu;
  struct Case {
    uint32_t start;
    long durationMs;
    uint32_t now;
    uint32_t left;
    const char* why;
  };
  const Case cases[] = {
      {1000, 60000, 1000, 60000, "at the start"},
      {1000, 60000, 31000, 30000, "half way"},
      {1000, 60000, 61000, 0, "at the limit"},
      {1000, 60000, 900000, 0, "long past the limit"},
      {kTop - 999, 60000, kTop, 59001, "before the count wraps"},
      {kTop - 999, 60000, 0, 59000, "as it wraps"},
      {kTop - 999, 60000, 9000, 50000, "past 0"},
      {kTop - 999, 60000, 59000, 0, "past 0 and the limit"},
      {kTop - 999, 60000, 3000000, 0, "past 0 and long past the limit"},
      {1000, 300000, kTop, 0, "almost a whole wrap later"},
      {5000, 0, 5000, 0, "no time at all"},
      {5000, -1, 5000, 0, "a negative limit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(c.left, Deadline(c.start, c.durationMs).millisecondsLeft(c.now));
  }
  // A long of 64 bits may hold more than 32 bits count; it is not cut to its
  // low bits (0 here).
  const long big = LONG_MAX / 2 + 1;
  const uint32_t longest =
      static_cast<unsigned long>(big) < Deadline::kLongestMs
          ? static_cast<uint32_t>(big)
          : Deadline::kLongestMs;
  EXPECT_EQ(longest, Deadline(0, big).millisecondsLeft(0));
}

} // namespace
