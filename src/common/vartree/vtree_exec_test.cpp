#include "common/platform/paths.h"
#include "common/vartree/vtree.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

/// Checks that `document` is child_echo's fixed report.
void expectEchoReport(const VtDocument* document) {
  ASSERT_TRUE(document);
  EXPECT_EQ(0, document->status);
  EXPECT_EQ(1, document->major);
  EXPECT_EQ(0, document->minor);
  ASSERT_TRUE(document->text);
  EXPECT_STREQ("child_echo report", document->text);
  EXPECT_EQ(42, vtGetInt(document, nullptr, "Answer", 0));
  EXPECT_EQ(7, vtGetInt(document, "Inner", "Depth", 0));
}

TEST(VtExecTest, HomeCommandKeepsEverySeparator) {
  const std::string s(1, pathSeparator());
  struct Case {
    std::string home;
    std::string path;
  };
  const Case cases[] = {
      {"K", "K" + s + "bin" + s + "cpuid"},
      {"K" + s, "K" + s + s + "bin" + s + "cpuid"},
      {"", s + "bin" + s + "cpuid"},
      {" K ", " K " + s + "bin" + s + "cpuid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("home \"" + c.home + "\"");
    EXPECT_EQ(c.path, vtHomeCommand(c.home, "cpuid"));
  }
}

TEST(VtExecTest, ReportOfChildIsRead) {
  ScopedEnv mode("CHILD_ECHO", "doc");
  VtDocumentPtr document(
      vtReadCommandOutput(testProgramPath("child_echo").c_str()));
  expectEchoReport(document.get());
}

TEST(VtExecTest, HomeDirectoryDecidesWhichProgramRuns) {
  TempDir dir;
  const std::string s(1, pathSeparator());
  const fs::path original = testProgramPath("child_echo");
  const std::string name = original.filename().string();
  const fs::path home = fs::path(dir.path()) / "home with blank";
  const fs::path emptyHome = fs::path(dir.path()) / "empty";
  fs::create_directories(home / "bin");
  fs::create_directories(emptyHome / "bin");
  fs::copy_file(original, home / "bin" / name);
  const std::string missing = (fs::path(dir.path()) / name).string();

  // A bare name that runs unchanged is found beside the tests, so a case
  // that gives null shows that the home's "bin" was used instead.
  ScopedEnv path("PATH", testBinDir().c_str());
  ScopedEnv mode("CHILD_ECHO", "doc");
  struct Case {
    const char* why;
    const char* home; // null: unset
    std::string command;
    bool runs;
  };
  const std::string homeText = home.string();
  const std::string emptyText = emptyHome.string();
  const std::string trailing = homeText + s;
  const Case cases[] = {
      {"unset, bare name", nullptr, name, true},
      {"unset, full path", nullptr, original.string(), true},
      {"unset, missing program", nullptr, missing, false},
      {"home with a blank", homeText.c_str(), name, true},
      {"home ending in a separator", trailing.c_str(), name, true},
      {"home whose bin lacks the program", emptyText.c_str(), name, false},
      {"empty home", "", name, false},
      {"full path below a home", emptyText.c_str(), original.string(), true},
      {"missing full path below a home", homeText.c_str(), missing, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScopedEnv homeDir("KEP_HOMEDIR", c.home);
    SystemError error;
    VtDocumentPtr document(vtExecCommand(c.command.c_str(), &error));
    if (c.runs) {
      expectEchoReport(document.get());
      EXPECT_FALSE(error.failed()) << error.message();
    } else {
      EXPECT_FALSE(document);
      EXPECT_TRUE(error.failed()) << "a start that fails says why";
    }
  }
}

TEST(VtExecTest, OutputThatIsNoReportGivesDocumentWithoutStatus) {
  const char* modes[] = {"exit 3", "print 5000", "stderr 10"};
  for (const char* m : modes) {
    SCOPED_TRACE(m);
    ScopedEnv mode("CHILD_ECHO", m);
    VtDocumentPtr document(
        vtReadCommandOutput(testProgramPath("child_echo").c_str()));
    ASSERT_TRUE(document);
    EXPECT_EQ(-1, document->status);
    EXPECT_FALSE(document->root);
  }
}

TEST(VtExecTest, ChildReadingInputOrWritingErrorsDoesNotHang) {
  // Each would block for ever were its standard input left open or its
  // standard error a pipe that nobody reads.
  const char* modes[] = {"drain doc", "echo doc", "stderr 1000000 doc",
                         "doc stderr 1000000", "stderr 100000 drain doc"};
  for (const char* m : modes) {
    SCOPED_TRACE(m);
    ScopedEnv mode("CHILD_ECHO", m);
    VtDocumentPtr document(
        vtReadCommandOutput(testProgramPath("child_echo").c_str()));
    expectEchoReport(document.get());
  }
}

TEST(VtExecTest, ReportBeyondItsLimitsCountsAsNone) {
  TempDir dir;
  // A status line and empty groups, 1000 bytes in all.
  std::string report = "1.0 0 groups\n";
  while (report.size() < 1000)
    report += "(g\n)\n";
  report.resize(1000);
  report.back() = '\n';
  ASSERT_TRUE(writeTestFile("report.txt", report));
  struct Case {
    const char* actions;
    ReadLimits limits;
    long code; ///< 0: the document is read
    const char* why;
  };
  const Case cases[] = {
      {"cat report.txt", {1000, 60000}, 0, "exactly as large as allowed"},
      {"cat report.txt", {999, 60000}, tooLargeErrorCode(), "one byte more"},
      {"doc sleep 60000",
       {1 << 20, 300},
       timedOutErrorCode(),
       "the report, then its end held back"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScopedEnv mode("CHILD_ECHO", c.actions);
    SystemError error;
    auto started = std::chrono::steady_clock::now();
    VtDocumentPtr document(vtReadCommandOutput(
        testProgramPath("child_echo").c_str(), &error, c.limits));
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);
    EXPECT_LT(seconds.count(), 20);
    if (c.code == 0) {
      ASSERT_TRUE(document);
      EXPECT_EQ(0, document->status);
      EXPECT_FALSE(error.failed());
    } else {
      EXPECT_FALSE(document);
      EXPECT_EQ(c.code, error.code) << error.message();
    }
  }
}

} // namespace
