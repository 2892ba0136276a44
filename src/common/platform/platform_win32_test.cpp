// platform_win32_test.cpp: what only the Win32 half of the platform meets:
// reparse points where the log is expected, the error mode, the clock, and
// the runtime's text mode of the standard streams.
#include "common/platform/files.h"
#include "common/platform/files_win32.h"
#include "common/platform/monotonic_clock.h"
#include "common/platform/process_setup.h"
#include "common/platform/standard_streams.h"
#include "common/platform/system_error_win32.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(RunLogWin32Test, OnlyLinkReparseTagsAreRefused) {
  struct Case {
    DWORD tag;
    bool link;
    const char* why;
  };
  // The values as the system defines them; older headers lack some names.
  const Case cases[] = {
      {0xA000000C, true, "symbolic link"},
      {0xA0000003, true, "junction (mount point)"},
      {0xA000001D, true, "WSL symbolic link"},
      {0xA0000019, true, "global reparse (a name surrogate)"},
      {0x80000013, false, "Data Deduplication"},
      {0xC0000004, false, "HSM"},
      {0x80000006, false, "HSM2"},
      {0x80000007, false, "single-instance store"},
      {0x80000017, false, "compressed by the overlay filter (WOF)"},
      {0x80000015, false, "file placeholder"},
      {0x9000001A, false, "cloud placeholder"},
      {0x9000301A, false, "cloud placeholder, another flavour"},
      {0x00000042, false, "a vendor's tag"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(c.link, isLinkReparseTag(c.tag));
  }
}

TEST(RunLogWin32Test, ReopenedLogMustBeTheFileThatWasChecked) {
  TempDir dir;
  const fs::path base(dir.path());
  const std::string log = (base / "en_out.txt").string();
  const std::string other = (base / "other.txt").string();
  ASSERT_TRUE(writeTestFile(log, "the checked file\n"));
  ASSERT_TRUE(writeTestFile(other, "someone else's file\n"));
  HANDLE file = CreateFileA(log.c_str(), FILE_READ_ATTRIBUTES, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  BY_HANDLE_FILE_INFORMATION checked;
  ASSERT_TRUE(GetFileInformationByHandle(file, &checked));
  CloseHandle(file);

  HANDLE same = reopenCheckedLog(log, checked, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, same);
  if (same != INVALID_HANDLE_VALUE)
    CloseHandle(same);

  const std::string missing = (base / "gone.txt").string();
  const std::string hardLink = (base / "second-name.txt").string();
  ASSERT_TRUE(CreateHardLinkA(hardLink.c_str(), log.c_str(), nullptr));
  for (const std::string& path : {other, missing, hardLink}) {
    SCOPED_TRACE(path);
    SystemError error;
    EXPECT_EQ(INVALID_HANDLE_VALUE, reopenCheckedLog(path, checked, &error));
    EXPECT_TRUE(error.failed());
  }
  EXPECT_EQ("someone else's file\n", readTestFile(other));
  EXPECT_FALSE(fs::exists(missing)) << "nothing is created";
}

TEST(RunLogWin32Test, SymbolicLinkIsNoLog) {
  // Looked up: XP has no symbolic links. Wine answers without making one,
  // and Windows makes one only with the privilege or in developer mode.
  using CreateLinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto createLink = reinterpret_cast<CreateLinkFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
  TempDir dir;
  const fs::path base(dir.path());
  const std::string target = (base / "target.txt").string();
  const std::string link = (base / "en_out.txt").string();
  ASSERT_TRUE(writeTestFile(target, "someone else's file\n"));
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (createLink && createLink(link.c_str(), target.c_str(), 0))
    attributes = GetFileAttributesA(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    GTEST_SKIP() << "no symbolic link can be made here";
  SystemError error;
  EXPECT_EQ(nullptr, openRunLog(link, &error));
  EXPECT_TRUE(error.failed());
  EXPECT_EQ("someone else's file\n", readTestFile(target));
}

TEST(SystemErrorWin32Test, LongTextComesBackWhole) {
  // Windows has system texts beyond 512 bytes; Wine's are short, so the
  // same call formats a text of the test's own.
  const std::string body = "The operation failed " + std::string(3000, 'x');
  EXPECT_EQ(body, formatMessageText(FORMAT_MESSAGE_FROM_STRING,
                                    (body + ".\r\n").c_str(), 0));
  EXPECT_EQ("unknown error", systemErrorText(0x2FFFFFFF));
}

TEST(SystemErrorWin32Test, ConsoleGetsTheTextInItsOwnCodePage) {
  if (GetACP() != 1252)
    GTEST_SKIP() << "the cases are written in code page 1252, not " << GetACP();
  struct Case {
    UINT console;
    const char* text;
    const char* shown;
    const char* why;
  };
  const Case cases[] = {
      {850, "Acc\xe8s refus\xe9", "Acc\x8as refus\x82", "French, OEM 850"},
      {437, "Syntax f\xfcr den Namen", "Syntax f\x81r den Namen",
       "German, OEM 437"},
      {65001, "refus\xe9", "refus\xc3\xa9", "a UTF-8 console"},
      {1252, "refus\xe9", "refus\xe9", "a console in the ANSI page"},
      {0, "refus\xe9", "refus\xe9", "no console page known"},
      {850, "vtdump: read standard input: x (error 6)\n",
       "vtdump: read standard input: x (error 6)\n",
       "the programs' own text keeps its bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(c.shown, textForConsole(c.text, c.console));
  }
}

TEST(ProcessSetupWin32Test, ErrorModeStopsTheSystemsDialogs) {
  UINT previous = SetErrorMode(0);
  SetErrorMode(previous);
  prepareUnattendedProcess();
  UINT mode = SetErrorMode(previous);
  const UINT quiet =
      SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
  EXPECT_EQ(quiet, mode & quiet);
  EXPECT_EQ(previous, mode & previous) << "the caller's own flags are kept";
}

TEST(MonotonicClockWin32Test, CountsTheTicksNotTheWallClock) {
  // The wall clock (GetSystemTimeAsFileTime, which steady_clock reads under
  // the win32 threading model) counts from 1601; it would fall outside these
  // readings.
  DWORD before = GetTickCount();
  uint32_t reading = monotonicMilliseconds();
  DWORD after = GetTickCount();
  EXPECT_LE(reading - before, after - before)
      << before << " <= " << reading << " <= " << after;
}

TEST(StandardStreamsWin32Test, OnlyTheNamedStreamsTurnBinary) {
  const struct {
    unsigned bit;
    int fd;
  } streams[] = {{kStandardInput, _fileno(stdin)},
                 {kStandardOutput, _fileno(stdout)},
                 {kStandardError, _fileno(stderr)}};
  int before[3];
  for (int i = 0; i < 3; ++i)
    before[i] = _setmode(streams[i].fd, _O_TEXT);
  for (unsigned named :
       {unsigned(kStandardInput), unsigned(kStandardOutput),
        unsigned(kStandardError), unsigned(kStandardInput | kStandardOutput)}) {
    SCOPED_TRACE(named);
    setBinaryStdio(named);
    // _setmode gives the mode it replaces; each stream goes back to text.
    for (const auto& stream : streams)
      EXPECT_EQ((named & stream.bit) ? _O_BINARY : _O_TEXT,
                _setmode(stream.fd, _O_TEXT))
          << "stream " << stream.bit;
  }
  for (int i = 0; i < 3; ++i)
    _setmode(streams[i].fd, before[i]);
}

} // namespace
