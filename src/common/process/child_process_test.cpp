#include "common/process/child_process.h"

#include "common/process/bounded_reader.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

int openHandleCount(); // defined per platform
/// Whether process `pid` ends (or is gone) within `milliseconds`; defined per
/// platform.
bool processEndsWithin(unsigned long pid, long milliseconds);

namespace {

namespace fs = std::filesystem;

using ChildPtr = std::unique_ptr<ChildProcess>;

ChildPtr startEcho(const char* arguments,
                   ChildErrorOutput errorOutput = ChildErrorOutput::kPipe) {
  return ChildPtr(startChildProcess(testProgramPath("child_echo").c_str(),
                                    arguments, errorOutput));
}

std::string readAll(ByteReader* stream) {
  std::string text;
  char buffer[4097];
  int got;
  while ((got = stream->read(buffer, 4096)) > 0)
    text.append(buffer, got);
  return text;
}

std::string pattern(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i)
    text += static_cast<char>('a' + i % 26);
  return text;
}

TEST(ChildProcessTest, CommandLineQuotesOnlyProgramWithBlank) {
  struct Case {
    const char* program;
    const char* arguments;
    const char* line;
  };
  const Case cases[] = {
      {"C:\\bin\\cpuid.exe", nullptr, "C:\\bin\\cpuid.exe"},
      {"C:\\Program Files\\K\\cpuid.exe", nullptr,
       "\"C:\\Program Files\\K\\cpuid.exe\""},
      {"cpuid.exe", "-a b", "cpuid.exe -a b"},
      {"a b.exe", "c", "\"a b.exe\" c"},
      {"x.exe", "", "x.exe "},
      {"tab\there.exe", nullptr, "tab\there.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(c.line, composeCommandLine(c.program, c.arguments));
  }
}

TEST(ChildProcessTest, ArgumentsSplitAtBlanksAndTabs) {
  using Words = std::vector<std::string>;
  struct Case {
    const char* arguments;
    Words words;
  };
  const Case cases[] = {
      {nullptr, {}},
      {" \t ", {}},
      {"a  b\tc", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"x\"y z\"w", {"xy zw"}},
      {"\"\"", {""}},
      {"\"open to the end", {"open to the end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments ? c.arguments : "(null)");
    EXPECT_EQ(c.words, splitArguments(c.arguments));
  }
}

TEST(ChildProcessTest, ArgumentsReachTheChildAsWords) {
  ChildPtr child = startEcho("args \"a b\" c");
  ASSERT_TRUE(child);
  EXPECT_EQ("args\na b\nc\n", readAll(child->output()));
  EXPECT_EQ(0, child->wait());
}

TEST(ChildProcessTest, ProgramThatCannotStartGivesNullAndLeavesNothingOpen) {
  TempDir dir;
  std::string notAProgram =
      (fs::path(dir.path()) / "not_a_program.exe").string();
  ASSERT_TRUE(writeTestFile(notAProgram, "this is text, not a program\n"));
  // Executable by its mode bits, but no program a system could run.
  fs::permissions(notAProgram, fs::perms::owner_all, fs::perm_options::add);
  std::string missing = (fs::path(dir.path()) / "missing").string();
  const std::string programs[] = {
      missing,    missing + ".exe", "enabler-no-such-program-4711",
      dir.path(), notAProgram,      "",
  };
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    int before = openHandleCount();
    ChildPtr child(startChildProcess(program.c_str(), nullptr));
    EXPECT_FALSE(child);
    EXPECT_EQ(before, openHandleCount());
  }
}

TEST(ChildProcessTest, LargeOutputIsReadCompletelyThenEnds) {
  // Far more than any pipe holds: the child blocks until it is read.
  const size_t size = 300000;
  ChildPtr child = startEcho("print 300000");
  ASSERT_TRUE(child);
  std::string text = readAll(child->output());
  EXPECT_EQ(size, text.size());
  EXPECT_TRUE(text == pattern(size)) << "output differs from the pattern";
  char buffer[8];
  EXPECT_EQ(0, child->output()->read(buffer, 7));
  EXPECT_EQ(0, child->wait());
}

TEST(ChildProcessTest, WhatTheChildStartedNeitherHoldsItsOutputNorStays) {
  // The child starts a process that keeps its standard output, writes its
  // number, and ends by itself or is ended. The output ends with the child,
  // whole, and the process it started is ended too. The bound turns a wait
  // for that process into a failure instead of a hang.
  struct Case {
    const char* why;
    const char* actions;
    bool terminate;
  };
  const Case cases[] = {
      {"the child ends", "linger 60000 print 5000", false},
      {"the child is ended", "linger 60000 sleep 60000", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ChildPtr child = startEcho(c.actions);
    ASSERT_TRUE(child);
    BoundedReader output(child->output(), ReadLimits{1 << 20, 20000});
    std::string text;
    char buffer[4097];
    int got;
    bool ended = false;
    while ((got = output.read(buffer, 4096)) > 0) {
      text.append(buffer, got);
      if (c.terminate && !ended && text.find('\n') != std::string::npos)
        ended = child->terminate();
    }
    EXPECT_FALSE(output.limitPassed());
    size_t lineEnd = text.find('\n');
    ASSERT_NE(std::string::npos, lineEnd) << text;
    unsigned long pid = std::stoul(text.substr(0, lineEnd));
    ASSERT_NE(0u, pid);
    EXPECT_EQ(c.terminate ? "" : pattern(5000), text.substr(lineEnd + 1));
    EXPECT_TRUE(processEndsWithin(pid, 10000));
  }
}

TEST(ChildProcessTest, InputReachesChildAndClosingItEndsIt) {
  ChildPtr child = startEcho("echo");
  ASSERT_TRUE(child);
  const std::string text("hello\r\nworld\0!", 14);
  EXPECT_EQ(static_cast<int>(text.size()),
            child->input()->write(text.data(), static_cast<int>(text.size())));
  child->input()->close();
  EXPECT_EQ(text, readAll(child->output()));
  EXPECT_EQ(0, child->wait());
}

TEST(ChildProcessTest, ErrorOutputIsCapturedApart) {
  ChildPtr child = startEcho("stderr 100 print 3");
  ASSERT_TRUE(child);
  ASSERT_TRUE(child->error());
  EXPECT_EQ("abc", readAll(child->output()));
  EXPECT_EQ(std::string(100, 'e'), readAll(child->error()));
  EXPECT_EQ(0, child->wait());
}

TEST(ChildProcessTest, ExitCodeComesBackAfterWait) {
  const int codes[] = {0, 1, 3, 42, 255};
  for (int code : codes) {
    SCOPED_TRACE(code);
    std::string arguments = "exit " + std::to_string(code);
    ChildPtr child = startEcho(arguments.c_str());
    ASSERT_TRUE(child);
    EXPECT_EQ(code, child->wait());
    EXPECT_EQ(code, child->exitCode());
  }
}

TEST(ChildProcessTest, ExitCodeIsMinusOneWhileChildRuns) {
  // The child reads its input until the end, so it runs until that is closed.
  ChildPtr child = startEcho("drain exit 7");
  ASSERT_TRUE(child);
  EXPECT_EQ(-1, child->exitCode());
  child->input()->close();
  EXPECT_EQ(7, child->wait());
  EXPECT_EQ(7, child->exitCode());
}

TEST(ChildProcessTest, NeverStartedChildAnswersAtOnce) {
  ChildPtr child(makeChildProcess());
  ASSERT_TRUE(child);
  EXPECT_EQ(-1, child->wait());
  EXPECT_EQ(-1, child->exitCode());
  EXPECT_FALSE(child->terminate());
  EXPECT_TRUE(child->input());
  EXPECT_TRUE(child->output());
}

TEST(ChildProcessTest, ReadLeavesZeroByteBehind) {
  ChildPtr child = startEcho("print 10");
  ASSERT_TRUE(child);
  char buffer[64];
  std::string text;
  for (;;) {
    memset(buffer, 'x', sizeof buffer);
    int got = child->output()->read(buffer, 63);
    ASSERT_GE(got, 0);
    EXPECT_EQ(0, buffer[got]) << "after " << got << " bytes";
    if (got == 0)
      break;
    text.append(buffer, got);
  }
  EXPECT_EQ("abcdefghij", text);

  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, child->output()->read(buffer, 0));
  EXPECT_EQ(0, buffer[0]) << "read of 0 bytes";
  child->output()->close();
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(0, child->output()->read(buffer, 63));
  EXPECT_EQ(0, buffer[0]) << "read on a closed stream";
  child->wait();
}

TEST(ChildProcessTest, ProgramFoundByPathWithBlankAndByBareName) {
  TempDir dir;
  fs::path blankDir = fs::path(dir.path()) / "dir with blank";
  fs::create_directory(blankDir);
  fs::path original = testProgramPath("child_echo");
  fs::path copy = blankDir / original.filename();
  fs::copy_file(original, copy);
  // The bare name is searched for on PATH (natively) or found in the
  // directory of the running program (Windows).
  ScopedEnv path("PATH", testBinDir().c_str());
  const std::string programs[] = {copy.string(), "child_echo"};
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    ChildPtr child(startChildProcess(program.c_str(), "print 5"));
    ASSERT_TRUE(child);
    EXPECT_EQ("abcde", readAll(child->output()));
    EXPECT_EQ(0, child->wait());
  }
}

TEST(ChildProcessTest, WriteToEndedChildGivesZero) {
  ChildPtr child = startEcho("exit 0");
  ASSERT_TRUE(child);
  EXPECT_EQ(0, child->wait());
  EXPECT_EQ(0, child->input()->write("x", 1));
  child->input()->close();
  EXPECT_EQ(0, child->input()->write("x", 1));
}

TEST(ChildProcessTest, UnreadErrorOutputNeverBlocksChild) {
  // A megabyte to standard error: far more than a pipe holds.
  ChildPtr child =
      startEcho("stderr 1000000 print 3", ChildErrorOutput::kUnread);
  ASSERT_TRUE(child);
  child->input()->close();
  if (child->error())
    child->error()->close();
  EXPECT_EQ("abc", readAll(child->output()));
  EXPECT_EQ(0, child->wait());
}

TEST(ChildProcessTest, ReleaseClosesEveryHandle) {
  struct Case {
    const char* arguments;
    bool wait;
    const char* why;
  };
  const Case cases[] = {
      {"exit 0", true, "ended and waited for"},
      {"print 100000", false, "still writing, released unread"},
      {"drain", false, "waiting for input"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int before = openHandleCount();
    {
      ChildPtr child = startEcho(c.arguments);
      ASSERT_TRUE(child);
      if (c.wait)
        child->wait();
    }
    EXPECT_EQ(before, openHandleCount());
  }
  int before = openHandleCount();
  delete makeChildProcess();
  EXPECT_EQ(before, openHandleCount()) << "never started";
}

} // namespace
