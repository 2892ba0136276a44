#include "retrieve_command.h"

#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "enabler/common/node_identity.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The Microsoft C runtime's reading of a command line into argv: the program
// name up to the next blank or, when quoted, up to the next quote; then
// arguments split at blanks and tabs outside quotes, where 2n backslashes and
// a quote give n backslashes and toggle quoting, 2n+1 backslashes and a quote
// give n backslashes and a literal quote, and "" inside quotes is a literal
// quote.
std::vector<std::string> parseLikeCrt(const std::string& line) {
  std::vector<std::string> argv;
  size_t i = 0;
  std::string program;
  if (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', i + 1);
    program = line.substr(i + 1, close == std::string::npos ? std::string::npos
                                                            : close - i - 1);
    i = close == std::string::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t')
      program += line[i++];
  }
  argv.push_back(program);
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
      ++i;
    if (i >= line.size())
      break;
    std::string arg;
    bool quoted = false;
    while (i < line.size()) {
      char c = line[i];
      if (!quoted && (c == ' ' || c == '\t'))
        break;
      if (c == '\\') {
        size_t count = 0;
        while (i < line.size() && line[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(count, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    argv.push_back(arg);
  }
  return argv;
}

NodeIdentity makeIdentity(const char* nodeId, const char* manufacturer,
                          const char* product, const char* version,
                          const char* type) {
  NodeIdentity identity;
  identity.nodeId = const_cast<char*>(nodeId);
  identity.manufacturer = const_cast<char*>(manufacturer);
  identity.product = const_cast<char*>(product);
  identity.version = const_cast<char*>(version);
  identity.type = const_cast<char*>(type);
  return identity;
}

} // namespace

TEST(RetrieveCommandTest, CommandTextPiecesAndBlanks) {
  const std::string perl = programFileName("perl");
  const std::string base = "C:/PROGRA~1/VMware/VmPerl/";
  const std::string includes = " -I" + base + "perl5/site_perl/5.005 -I" +
                               base + "perl5/site_perl/5.005/MSWin32-x86  ";
  ScriptCommand command = composeScriptCommand(
      "C:\\PROGRA~1\\VMware\\VmPerl\\",
      makeIdentity("SN-1", "Dell Inc.", "PowerEdge 2950", "A05", ""), 4, true);
  EXPECT_EQ(base + perl + includes +
                "retrieve.pl \"SN-1\" \"Dell Inc.\"  \"PowerEdge 2950\" "
                "\"A05\" \"-\" 4 -v",
            command.commandLine);
  EXPECT_EQ(base + perl, command.program);
  const std::vector<std::string> expected = {
      base + perl,
      "-I" + base + "perl5/site_perl/5.005",
      "-I" + base + "perl5/site_perl/5.005/MSWin32-x86",
      "retrieve.pl",
      "SN-1",
      "Dell Inc.",
      "PowerEdge 2950",
      "A05",
      "-",
      "4",
      "-v"};
  EXPECT_EQ(expected, command.arguments);

  ScriptCommand quiet = composeScriptCommand(
      "C:\\PROGRA~1\\VMware\\VmPerl\\",
      makeIdentity("SN-1", "Dell Inc.", "PowerEdge 2950", "A05", ""), 4, false);
  EXPECT_EQ(command.commandLine.substr(0, command.commandLine.size() - 3),
            quiet.commandLine);
  EXPECT_EQ("4", quiet.arguments.back());
}

TEST(RetrieveCommandTest, AbsentAndEmptyIdentityTexts) {
  struct Case {
    NodeIdentity identity;
    const char* arguments;
    const char* why;
  };
  const Case cases[] = {
      {makeIdentity(nullptr, nullptr, nullptr, nullptr, nullptr),
       "\"\" \"\"  \"-\" \"-\" \"-\"", "all absent"},
      {makeIdentity("", "", "", "", ""), "\"\" \"\"  \"-\" \"-\" \"-\"",
       "all empty"},
      {makeIdentity(" ", "-", "p", "v", "t"), "\" \" \"-\"  \"p\" \"v\" \"t\"",
       "a blank serial and a dash stand as they are"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScriptCommand command = composeScriptCommand("/v/", c.identity, 1, false);
    EXPECT_NE(std::string::npos,
              command.commandLine.find(std::string("retrieve.pl ") +
                                       c.arguments + " 1"))
        << command.commandLine;
    EXPECT_EQ(command.arguments, parseLikeCrt(command.commandLine));
  }
}

TEST(RetrieveCommandTest, UnsafeValuesReachTheScriptAsOneArgumentEach) {
  struct Case {
    const char* value;
    const char* received;
    const char* written;
  };
  const Case cases[] = {
      {"say \"hi\"", "say \"hi\"", "\"say \\\"hi\\\"\""},
      {"\"", "\"", "\"\\\"\""},
      {"\"\"", "\"\"", "\"\\\"\\\"\""},
      {"%PATH%", "%PATH%", "\"%PATH%\""},
      {"a & del x", "a & del x", "\"a & del x\""},
      {"a|b<c>d^e", "a|b<c>d^e", "\"a|b<c>d^e\""},
      {"  two  blanks\t", "  two  blanks\t", "\"  two  blanks\t\""},
      {"C:\\dir\\", "C:/dir/", "\"C:/dir/\""},
      {"back\\\"slash", "back/\"slash", "\"back/\\\"slash\""},
      {"\\\\\"", "//\"", "\"//\\\"\""},
      {"end\"", "end\"", "\"end\\\"\""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ScriptCommand command = composeScriptCommand(
        "C:\\Program Files\\VmPerl\\",
        makeIdentity(c.value, c.value, c.value, c.value, c.value), 2, true);
    ASSERT_EQ(11u, command.arguments.size());
    for (size_t i = 4; i < 9; ++i)
      EXPECT_EQ(c.received, command.arguments[i]) << "argument " << i;
    std::string w = c.written;
    EXPECT_NE(std::string::npos,
              command.commandLine.find("retrieve.pl " + w + " " + w + "  " + w +
                                       " " + w + " " + w + " 2 -v"))
        << command.commandLine;
    EXPECT_EQ(command.arguments, parseLikeCrt(command.commandLine));
  }
}

TEST(RetrieveCommandTest, PathsWithBlanksAreQuoted) {
  const std::string perl = programFileName("perl");
  ScriptCommand command =
      composeScriptCommand("C:\\Program Files\\VMware\\VmPerl\\",
                           makeIdentity("s", "m", "p", "v", "t"), 1, false);
  const std::string base = "C:/Program Files/VMware/VmPerl/";
  EXPECT_EQ("\"" + base + perl + "\" -I\"" + base +
                "perl5/site_perl/5.005\" -I\"" + base +
                "perl5/site_perl/5.005/MSWin32-x86\"  retrieve.pl \"s\" "
                "\"m\"  \"p\" \"v\" \"t\" 1",
            command.commandLine);
  EXPECT_EQ(base + perl, command.program);
  EXPECT_EQ(command.arguments, parseLikeCrt(command.commandLine));

  // The path is used as stored: no separator is put before the file names.
  ScriptCommand bare = composeScriptCommand(
      "D:\\VmPerl", makeIdentity("s", "m", "p", "v", "t"), 1, false);
  EXPECT_EQ("D:/VmPerl" + perl, bare.program);
  EXPECT_EQ("-ID:/VmPerlperl5/site_perl/5.005", bare.arguments[1]);
}

TEST(RetrieveCommandTest, QuoteArgumentRoundTripsThroughTheCrtRules) {
  const char* const arguments[] = {"",       "plain",  "a b",   "\"",
                                   "a\\b",   "a\\\\",  "a\\\"", "\\\\\"\\",
                                   "tab\tx", "x\"\"y", "\\"};
  for (const char* argument : arguments) {
    SCOPED_TRACE(argument);
    std::vector<std::string> argv =
        parseLikeCrt("prog " + quoteArgument(argument) + " next");
    ASSERT_EQ(3u, argv.size());
    EXPECT_EQ(argument, argv[1]);
    EXPECT_EQ("next", argv[2]);
  }
}

TEST(RetrieveCommandTest, SearchPathKeepsTheEarlierValue) {
  const std::string sep(1, pathListSeparator());
  struct Case {
    const char* earlier;
    std::string expected;
  };
  const std::string dirs = "C:/Program Files/VMware/VmPerl/" + sep +
                           "C:/Program Files/VMware/VMware Server/" + sep;
  const Case cases[] = {
      {"", dirs},
      {"C:\\Windows\\system32", "C:\\Windows\\system32" + sep + dirs},
      {"/usr/bin:/bin", "/usr/bin:/bin" + sep + dirs},
      {"%PATH%;x", "%PATH%;x" + sep + dirs}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.earlier);
    std::string value;
    EXPECT_TRUE(composeSearchPath(
        c.earlier, "C:\\Program Files\\VMware\\VmPerl\\",
        "C:\\Program Files\\VMware\\VMware Server\\", &value));
    EXPECT_EQ(c.expected, value);
  }
}

TEST(RetrieveCommandTest, SearchPathLongerThanTheEnvironmentAllowsFails) {
  // "a" + sep + "b" + sep after the earlier value and its separator.
  const size_t fixed = 5;
  std::string value;
  EXPECT_TRUE(composeSearchPath(std::string(kMaxEnvironmentValue - fixed, 'x'),
                                "a", "b", &value));
  EXPECT_EQ(kMaxEnvironmentValue, value.size());
  EXPECT_FALSE(composeSearchPath(
      std::string(kMaxEnvironmentValue - fixed + 1, 'x'), "a", "b", &value));
  EXPECT_EQ(kMaxEnvironmentValue + 1, value.size());
  // Far beyond the old 1023-character buffer is still fine.
  EXPECT_TRUE(composeSearchPath(std::string(5000, 'x'), "a", "b", &value));
}

TEST(RetrieveCommandTest, ScriptStatusMapping) {
  const int cases[][2] = {{0, 0},  {5, 5},   {6, 6},   {7, 7}, {-1, 5},
                          {1, 5},  {2, 5},   {3, 5},   {4, 5}, {8, 5},
                          {99, 5}, {255, 5}, {256, 5}, {-7, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    EXPECT_EQ(c[1], mapScriptStatus(c[0]));
  }
}

// The composed command run for real: the test interpreter records what it
// received.
namespace {

namespace fs = std::filesystem;

// A VmPerl directory whose name holds blanks, with the test interpreter in it
// under the platform's interpreter name.
class ScriptRunTest : public ::testing::Test {
protected:
  void SetUp() override {
    vmperl_ = fs::path(dir_.path()) / "Vm Perl dir";
    fs::create_directory(vmperl_);
    fs::copy_file(testProgramPath("vmw_perl"),
                  vmperl_ / programFileName("perl"));
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
  return makeIdentity(value, value, value, value, value);
}

} // namespace

TEST_F(ScriptRunTest, InterpreterReceivesEachValueAsOneArgument) {
  const char* const values[] = {
      "plain",           "say \"hi\" & exit", "%PATH%", "a|b<c>d^e", "",
      "  blanks  ",      "C:\\dir\\x\\",      "\"",     "end\\\"",   "x\"\"y",
      "!VAR! `id` $HOME"};
  ScopedEnv record("VMW_TEST_RECORD", record_.c_str());
  ScopedEnv status("VMW_TEST_STATUS", "0");
  std::string shortPath;
  ASSERT_TRUE(shortPathName(vmperlPath().c_str(), &shortPath));
  // The short form may lose the blanks (Wine makes 8.3 names); the long one
  // keeps them, as where 8.3 names are disabled.
  for (const std::string& base : {shortPath, vmperlPath()}) {
    for (const char* value : values) {
      SCOPED_TRACE(base + " with " + value);
      ScriptCommand command =
          composeScriptCommand(base, identityOf(value), 3, true);
      fs::remove(record_);
      ASSERT_EQ(0, runChildProcess(command)) << command.commandLine;
      std::vector<std::string> lines = recorded();
      ASSERT_EQ(command.arguments.size() + 1, lines.size())
          << command.commandLine;
      for (size_t i = 1; i < command.arguments.size(); ++i)
        EXPECT_EQ("arg:" + command.arguments[i], lines[i - 1])
            << command.commandLine;
    }
  }
}

TEST_F(ScriptRunTest, ExitStatusComesBackUnmapped) {
  ScopedEnv record("VMW_TEST_RECORD", nullptr);
  ScriptCommand command =
      composeScriptCommand(vmperlPath(), identityOf("x"), 1, false);
  for (int wanted : {0, 3, 5, 6, 7, 42}) {
    SCOPED_TRACE(wanted);
    ScopedEnv status("VMW_TEST_STATUS", std::to_string(wanted).c_str());
    EXPECT_EQ(wanted, runChildProcess(command));
  }
}

TEST_F(ScriptRunTest, MissingInterpreterGivesMinusOneAndTheReason) {
  ScriptCommand command =
      composeScriptCommand((fs::path(dir_.path()) / "nowhere").string() +
                               static_cast<char>(fs::path::preferred_separator),
                           identityOf("x"), 1, false);
  SystemError error;
  EXPECT_EQ(-1, runChildProcess(command, &error));
  EXPECT_NE(std::string::npos, error.message().find(command.program))
      << error.message();
}

TEST_F(ScriptRunTest, InterpreterInheritsTheSearchPath) {
  ScopedEnv record("VMW_TEST_RECORD", record_.c_str());
  ScopedEnv status("VMW_TEST_STATUS", nullptr);
  const std::string earlier = getEnvironment("PATH").value_or("");
  std::string value;
  ASSERT_TRUE(
      composeSearchPath(earlier, "C:\\VmPerl\\", "C:\\Server\\", &value));
  ASSERT_TRUE(setEnvironment("PATH", value));
  SystemError error;
  int result = runChildProcess(
      composeScriptCommand(vmperlPath(), identityOf("x"), 1, false), &error);
  // Put the test's own PATH back before anything can fail.
  setTestEnv("PATH", earlier.c_str());
  ASSERT_EQ(0, result) << error.message() << " with PATH " << value;
  std::vector<std::string> lines = recorded();
  ASSERT_LE(2u, lines.size());
  EXPECT_EQ("PATH=" + value, lines[lines.size() - 2]);
}
