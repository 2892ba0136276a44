#include "enabler/common/admin_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

AdminOptions read(std::vector<std::string> args) {
  args.insert(args.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return readAdminOptions(static_cast<int>(args.size()), argv.data());
}

TEST(AdminOptionsTest, HelpThenVersionWinAndDryRunTakesOnlyTheTwoFlags) {
  using R = AdminRequest;
  struct Case {
    std::vector<std::string> args;
    AdminRequest request;
    bool log;
    bool version;
  };
  const Case cases[] = {
      // Lines without the new options are left to the usual acceptance.
      {{}, R::kNone, false, false},
      {{"-v", "-version"}, R::kNone, false, false},
      {{"-x", "-v", "-v"}, R::kNone, false, false},
      {{"--dry"}, R::kNone, false, false},
      // Help and version act alone, whatever else the line holds.
      {{"--help"}, R::kHelp, false, false},
      {{"-v", "/?"}, R::kHelp, false, false},
      {{"--version", "-?"}, R::kHelp, false, false},
      {{"-x", "-h", "-y", "-z"}, R::kHelp, false, false},
      {{"--version"}, R::kVersion, false, false},
      {{"--dry-run", "--version", "-x"}, R::kVersion, false, false},
      // The dry run combines with -v and -version, each once.
      {{"--dry-run"}, R::kDryRun, false, false},
      {{"-v", "--dry-run"}, R::kDryRun, true, false},
      {{"--dry-run", "-version", "-v"}, R::kDryRun, true, true},
      {{"--dry-run", "--dry-run"}, R::kRejected, false, false},
      {{"--dry-run", "-v", "-v"}, R::kRejected, false, false},
      {{"--dry-run", "-V"}, R::kRejected, false, false},
      {{"--dry-run", "-version", "-v", "-x"}, R::kRejected, false, false},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args)
      line += a + " ";
    SCOPED_TRACE(line);
    AdminOptions options = read(c.args);
    EXPECT_EQ(c.request, options.request);
    EXPECT_EQ(c.log, options.log);
    EXPECT_EQ(c.version, options.version);
  }
  EXPECT_EQ(R::kNone, readAdminOptions(2, nullptr).request);
}

} // namespace
