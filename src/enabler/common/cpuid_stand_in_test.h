// cpuid_stand_in_test.h: the cpuid program as a worker's test places it: the
// stand-in (tests/programs/fake_cpuid) beside an own path of the test's
// choosing, printing a report of the test's choosing.
#ifndef ENABLER_COMMON_CPUID_STAND_IN_TEST_H
#define ENABLER_COMMON_CPUID_STAND_IN_TEST_H

#include "common/platform/paths.h"
#include "enabler/common/processor_record.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

/// Where the record builder looks for the cpuid program when the enabler
/// lies in `dir`; the reason why it could not be run is not kept.
inline CpuidProgramSite cpuidProgramSiteIn(const std::string& dir) {
  return CpuidProgramSite{ownPathAnswering(dir + pathSeparator() + "enabler"),
                          nullptr};
}

/// The stand-in copied into `dir` as the cpuid program, printing `report`
/// while the holder lives. `dir` outlives the holder; the copy and the
/// report's file go with it.
class CpuidStandIn {
public:
  CpuidStandIn(const std::string& dir, const std::string& report)
      : site_(cpuidProgramSiteIn(dir)),
        reportPath_(dir + pathSeparator() + "cpuid_report.txt"),
        document_("FAKE_CPUID_DOCUMENT", reportPath_.c_str()) {
    EXPECT_TRUE(writeTestFile(reportPath_, report)) << reportPath_;
    std::error_code error;
    std::filesystem::copy_file(testProgramPath("fake_cpuid"),
                               dir + pathSeparator() + programFileName("cpuid"),
                               error);
    EXPECT_FALSE(error) << "copying the stand-in cpuid program: "
                        << error.message();
  }
  CpuidStandIn(const CpuidStandIn&) = delete;
  CpuidStandIn& operator=(const CpuidStandIn&) = delete;

  /// A site whose cpuid program is the stand-in.
  const CpuidProgramSite& site() const { return site_; }

private:
  CpuidProgramSite site_;
  std::string reportPath_;
  ScopedEnv document_;
};

#endif
