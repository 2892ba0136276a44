// test_util.h: holders the unit tests share: a fresh working directory, an
// environment variable set for one test, and the paths of the test programs.
#ifndef ENABLER_TESTS_TEST_UTIL_H
#define ENABLER_TESTS_TEST_UTIL_H

#include <functional>
#include <optional>
#include <string>

/// Makes a fresh directory below the system's temporary folder, moves into
/// it, and on destruction moves back and removes it with its content.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  /// Absolute path of the directory, with the platform's separators.
  const std::string& path() const { return path_; }

private:
  std::string path_;
  std::string previous_;
};

/// Sets (or, with a null value, removes) an environment variable of this
/// process for the holder's life and puts the earlier state back afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

/// Sets or removes (null) a variable of this process's environment, the one
/// getEnvironment reads and the children inherit.
void setTestEnv(const char* name, const char* value);

/// Directory of the running test executable (the build's bin folder), without
/// a trailing separator.
std::string testBinDir();
/// Path of a program built beside the tests: `name` plus ".exe" on Windows.
std::string testProgramPath(const std::string& name);
/// Path of a file below tests/fixtures, `relative` written with "/"; the
/// platform's separators in the result.
std::string fixturePath(const std::string& relative);
/// An own-path query in the manner of ownExecutablePath that answers `path`,
/// so that code looking beside its own executable (the cpuid program) looks
/// in a folder of the test's choosing.
std::function<unsigned long(char* buffer, unsigned long size)>
ownPathAnswering(const std::string& path);

/// Writes `content` to `path` in binary mode; false on failure.
bool writeTestFile(const std::string& path, const std::string& content);
/// The whole content of `path` in binary mode; empty when unreadable.
std::string readTestFile(const std::string& path);

#endif
