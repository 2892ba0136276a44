#include "script_host.h"

#include "enabler/common/node_identity.h"
#include "registry.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A VmPerl directory whose name holds blanks, with the test interpreter in it
// under the platform's interpreter name.
class ScriptHostTest : public ::testing::Test {
protected:
  void SetUp() override {
    vmperl_ = fs::path(dir_.path()) / "Vm Perl dir";
    fs::create_directory(vmperl_);
    fs::copy_file(testProgramPath("vmw_perl"), vmperl_ / perlInterpreterName());
    record_ = (fs::path(dir_.path()) / "record.txt").string();
  }

  std::string vmperlPath() const {
    return vmperl_.string() + static_cast<char>(fs::path::preferred_separator);
  }

  // The lines the interpreter recorded.
  std::vector<std::string> recorded() const {
    std::vector<std::string> lines;
    std::istringstream in(readTestFile(record_));
    std::string line;
    while (std::getline(in, line))
      lines.push_back(line);
    return lines;
  }

  TempDir dir_;
  fs::path vmperl_;
  std::string record_;
};

NodeIdentity identityOf(const char* value) {
  NodeIdentity identity;
  identity.nodeId = const_cast<char*>(value);
  identity.manufacturer = const_cast<char*>(value);
  identity.product = const_cast<char*>(value);
  identity.version = const_cast<char*>(value);
  identity.type = const_cast<char*>(value);
  return identity;
}

} // namespace

TEST_F(ScriptHostTest, InterpreterReceivesEachValueAsOneArgument) {
  const char* const values[] = {
      "plain",           "say \"hi\" & exit", "%PATH%", "a|b<c>d^e", "",
      "  blanks  ",      "C:\\dir\\x\\",      "\"",     "end\\\"",   "x\"\"y",
      "!VAR! `id` $HOME"};
  ScopedEnv record("VMW_TEST_RECORD", record_.c_str());
  ScopedEnv status("VMW_TEST_STATUS", "0");
  std::string shortPath;
  ASSERT_TRUE(getShortPath(vmperlPath().c_str(), &shortPath));
  // The short form may lose the blanks (Wine makes 8.3 names); the long one
  // keeps them, as where 8.3 names are disabled.
  for (const std::string& base : {shortPath, vmperlPath()}) {
    for (const char* value : values) {
      SCOPED_TRACE(base + " with " + value);
      ScriptCommand command =
          composeScriptCommand(base, identityOf(value), 3, true);
      fs::remove(record_);
      ASSERT_EQ(0, runScript(command)) << command.text;
      std::vector<std::string> lines = recorded();
      ASSERT_EQ(command.arguments.size() + 1, lines.size()) << command.text;
      for (size_t i = 1; i < command.arguments.size(); ++i)
        EXPECT_EQ("arg:" + command.arguments[i], lines[i - 1]) << command.text;
    }
  }
}

TEST_F(ScriptHostTest, ExitStatusComesBackUnmapped) {
  ScopedEnv record("VMW_TEST_RECORD", nullptr);
  ScriptCommand command =
      composeScriptCommand(vmperlPath(), identityOf("x"), 1, false);
  for (int wanted : {0, 3, 5, 6, 7, 42}) {
    SCOPED_TRACE(wanted);
    ScopedEnv status("VMW_TEST_STATUS", std::to_string(wanted).c_str());
    EXPECT_EQ(wanted, runScript(command));
  }
}

TEST_F(ScriptHostTest, MissingInterpreterGivesMinusOne) {
  ScriptCommand command =
      composeScriptCommand((fs::path(dir_.path()) / "nowhere").string() +
                               static_cast<char>(fs::path::preferred_separator),
                           identityOf("x"), 1, false);
  EXPECT_EQ(-1, runScript(command));
}

TEST_F(ScriptHostTest, InterpreterInheritsTheSearchPath) {
  ScopedEnv record("VMW_TEST_RECORD", record_.c_str());
  ScopedEnv status("VMW_TEST_STATUS", nullptr);
  const std::string earlier = currentSearchPath();
  std::string value;
  ASSERT_TRUE(
      composeSearchPath(earlier, "C:\\VmPerl\\", "C:\\Server\\", &value));
  ASSERT_TRUE(setSearchPath(value));
  EXPECT_EQ(value, currentSearchPath());
  int result =
      runScript(composeScriptCommand(vmperlPath(), identityOf("x"), 1, false));
  // Put the test's own PATH back before anything can fail.
  setSearchPath(earlier);
  setTestEnv("PATH", earlier.c_str());
  ASSERT_EQ(0, result);
  std::vector<std::string> lines = recorded();
  ASSERT_LE(2u, lines.size());
  EXPECT_EQ("PATH=" + value, lines[lines.size() - 2]);
}

TEST_F(ScriptHostTest, ShortPathNeedsAnExistingFittingPath) {
  std::string shortPath;
  ASSERT_TRUE(getShortPath(vmperlPath().c_str(), &shortPath));
  EXPECT_TRUE(fs::is_directory(shortPath)) << shortPath;
  EXPECT_TRUE(fs::exists(fs::path(shortPath) / perlInterpreterName()))
      << shortPath;
  EXPECT_LT(shortPath.size(), kInstallPathBytes);

  EXPECT_FALSE(getShortPath(
      (fs::path(dir_.path()) / "no such dir").string().c_str(), &shortPath));
  EXPECT_FALSE(getShortPath("", &shortPath));
  // A registered path of 1024 characters cannot have a fitting short form
  // unless it shrinks; one that names nothing fails in any case.
  std::string deep = dir_.path();
  while (deep.size() < kInstallPathBytes + 10)
    deep += static_cast<char>(fs::path::preferred_separator) + std::string("d");
  EXPECT_FALSE(getShortPath(deep.c_str(), &shortPath));
}
