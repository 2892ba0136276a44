// retrieve_script_test.cpp: the retrieval run as a whole, in this process, on
// a registry and a host of the test's making; under the sanitizers a text the
// run keeps after it ends is a leak.
#include "retrieve_script.h"

#include "enabler/common/exit_status.h"
#include "reg_file.h"
#include "registry.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

TEST(RetrieveScriptTest, RunEndsWithoutKeepingTheIdentity) {
  TempDir dir;
  fs::path dmi = fs::path(dir.path()) / "dmi";
  fs::create_directory(dmi);
  for (const char* field : {"product_serial", "bios_vendor", "bios_version",
                            "product_name", "product_version"})
    ASSERT_TRUE(writeTestFile((dmi / field).string(), "text\n"));
  ScopedEnv dmiRoot("KEP_DMI_ROOT", dmi.string().c_str());
  // The VmPerl directory does not exist, so the run ends after the identity
  // was read and before anything is started.
  std::string missing = (fs::path(dir.path()) / "no-vmperl").string();
  std::string escaped;
  for (char c : missing)
    escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  FileRegistry registry(RegFile::parse(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware Server]\n"
      "\"InstallPath\"=\"" + escaped + "\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware VmPerl "
      "Scripting API]\n"
      "\"InstallPath\"=\"" + escaped + "\"\n"));
  setRegistry(&registry);
  setWow64Answer(Wow64Answer::No);
  int status = runRetrieveScript();
#ifdef _WIN32
  // The identity comes from WMI here, which a Wine prefix may lack.
  EXPECT_TRUE(status == kVmwNotInstalled || status == kVmwNoIdentity)
      << status;
#else
  EXPECT_EQ(kVmwNotInstalled, status);
#endif
  setRegistry(nullptr);
  setWow64Answer(Wow64Answer::Unknown);
}

} // namespace
