// cpuid_report_hostile_test.cpp: the record builder of both enablers against
// a cpuid program that writes its report and then holds its standard output
// open without end. A real run gives such a program five minutes; here the
// time limit is half a second, so the test stays fast. The builder must end
// the child, write exactly what it writes for a program that could not be
// run, and go on.
#include "common/platform/paths.h"
#include "enabler/common/frame.h"
#include "enabler/common/processor_record.h"
#include "enabler/common/run_log_test.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(CpuidReportHostileTest, ReportWithoutEndCountsAsAProgramThatCannotRun) {
  TempDir dir;
  const OwnPathQuery ownPath =
      ownPathAnswering((fs::path(dir.path()) / "enabler").string());
  fs::copy_file(testProgramPath("hostile_cpuid"),
                fs::path(dir.path()) / programFileName("cpuid"));
  ScopedEnv mode("KEP_HOSTILE_CPUID", "never-end");
  ScopedEnv home("KEP_HOMEDIR", nullptr);
  const std::string logPath = (fs::path(dir.path()) / "en_out.txt").string();

  for (EnablerProgram program :
       {EnablerProgram::VirtualServer, EnablerProgram::VMware}) {
    SCOPED_TRACE(program == EnablerProgram::VMware ? "vmware" : "vs");
    ScopedRunLog log(logPath, program);
    ASSERT_NE(nullptr, logFile);
    SystemError error;
    CpuidProgramSite site{ownPath, &error,
                          ReadLimits{kVtReportLimits.maxBytes, 500}};
    char* record = nullptr;
    int packages = 0;
    auto started = std::chrono::steady_clock::now();
    int result = program == EnablerProgram::VMware
                     ? getInfoFromCPUID(site)
                     : getInfoFromCPUID(&record, &packages, site);
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - started);

    EXPECT_EQ(0, result);
    EXPECT_EQ(nullptr, record);
    EXPECT_LT(seconds.count(), 20)
        << "the test's short bound, not the program's 5 minutes";
    EXPECT_EQ(timedOutErrorCode(), error.code) << error.message();
    std::string text = log.text();
    std::string tail = "Warning! vtExecCommand failed.\n"
                       "getInfoFromCPUID() finished with result=0\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(tail, text.substr(text.size() - tail.size())) << text;
  }
}

} // namespace
