#include "common/program_info.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

TEST(ProgramInfoTest, HelpArgumentsAreTheFourUsualForms) {
  struct Case {
    const char* argument;
    bool help;
  };
  const Case cases[] = {
      {"--help", true}, {"-h", true},      {"-?", true},  {"/?", true},
      {"-help", false}, {"--HELP", false}, {"/h", false}, {"-version", false},
      {"", false},      {nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument ? c.argument : "(null)");
    EXPECT_EQ(c.help, isHelpArgument(c.argument));
  }
}

TEST(ProgramInfoTest, OnlyArgumentsAfterTheProgramNameAreLookedAt) {
  char name[] = "-h", v[] = "-v", version[] = "--version";
  char* argv[] = {name, v, version, nullptr};
  EXPECT_FALSE(hasHelpArgument(3, argv));
  EXPECT_FALSE(hasHelpArgument(3, nullptr));
  EXPECT_TRUE(hasVersionArgument(3, argv));
  EXPECT_FALSE(hasVersionArgument(2, argv));
}

TEST(ProgramInfoTest, VersionIsTheBannerThenTheRelease) {
  EXPECT_TRUE(
      std::regex_match(releaseVersion(), std::regex("[0-9]+(\\.[0-9]+)+")))
      << releaseVersion();
  TempDir dir;
  FILE* out = fopen("version.txt", "wb");
  ASSERT_NE(nullptr, out);
  printVersion(out, "tool", "Tool banner\n");
  fclose(out);
  EXPECT_EQ("Tool banner\ntool release " + std::string(releaseVersion()) + "\n",
            readTestFile("version.txt"));
}

} // namespace
