// child_process_win32_test.cpp: Win32 half of the child-process tests: what
// a child inherits where the system has no handle lists, and the exit code of
// a child that was ended.
#include "common/process/child_process.h"
#include "common/process/inheritance_win32.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>

#include <memory>

/// Handles open in this process. Every valid handle value is probed, since
/// GetProcessHandleCount is not answered under Wine.
int openHandleCount() {
  int count = 0;
  for (uintptr_t value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++count;
  }
  return count;
}

bool processEndsWithin(unsigned long pid, long milliseconds) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process)
    return true; // gone already
  bool ended = WaitForSingleObject(process, static_cast<DWORD>(milliseconds)) ==
               WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

namespace {

bool inheritable(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT);
}

TEST(InheritOnlyTest, WithoutAListOwnStandardHandlesAreKeptFromTheChild) {
  // An empty list is what XP's way takes; the standard handle stands for the
  // caller's pipe.
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &security, 0));
  HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  {
    InheritOnly inheritance(startup, nullptr, 0);
    EXPECT_EQ(0u, inheritance.creationFlags());
    EXPECT_EQ(sizeof startup, inheritance.startupInfo()->cb);
    EXPECT_FALSE(inheritable(writeEnd)) << "kept from the child";
  }
  EXPECT_TRUE(inheritable(writeEnd)) << "its flag given back";
  SetStdHandle(STD_OUTPUT_HANDLE, previous);
  CloseHandle(readEnd);
  CloseHandle(writeEnd);
}

TEST(ChildProcessWin32Test, TerminatedChildDoesNotExitWithSuccess) {
  // Anything that audits exits reads 0 as success.
  std::unique_ptr<ChildProcess> child(
      startChildProcess(testProgramPath("child_echo").c_str(), "drain exit 9"));
  ASSERT_TRUE(child);
  EXPECT_TRUE(child->terminate());
  EXPECT_EQ(static_cast<int>(ERROR_PROCESS_ABORTED), child->wait());
}

} // namespace
