// retrieve_script_test.cpp: the retrieval run as a whole, in this process, on
// a registry and a host of the test's making; under the sanitizers a text the
// run keeps after it ends is a leak.
#include "retrieve_script.h"

#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_test_source.h"
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

// A verbose run on a host with an identity whose registry names a VmPerl
// directory that does not exist: it ends after the package count and the
// identity were taken, before anything is started. Gives the log.
std::string verboseRunWithoutVmPerl() {
  TempDir dir;
  fs::path dmi = fs::path(dir.path()) / "dmi";
  fs::create_directory(dmi);
  for (const char* field : {"product_serial", "bios_vendor", "bios_version",
                            "product_name", "product_version"})
    EXPECT_TRUE(writeTestFile((dmi / field).string(), "text\n"));
  ScopedEnv dmiRoot("KEP_DMI_ROOT", dmi.string().c_str());
  FileRegistry registry(RegFile::parse(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware VmPerl "
      "Scripting API]\n"
      "\"InstallPath\"=\"no-vmperl\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware Server]\n"
      "\"InstallPath\"=\"no-vmperl\"\n"));
  setRegistry(&registry);
  setWow64Answer(Wow64Answer::No);
  const std::string path = dir.path() + "/en_out.txt";
  logFile = fopen(path.c_str(), "wb");
  verbose = logFile != nullptr;
  runRetrieveScript();
  closeLogFile();
  verbose = false;
  setRegistry(nullptr);
  setWow64Answer(Wow64Answer::Unknown);
  return readTestFile(path);
}

TEST(RetrieveScriptTest, PackageCountLines) {
  struct Case {
    const char* why;
    bool cpuId;
    uint32_t logical;
    int processors, systemPackages;
    const char* lines;
  };
  const Case cases[] = {
      {"the system's count", true, 16, 16, 2,
       "DBG: numOfPhysicalPackages= 2\n"
       "DBG: numOfProcessors= 16\n"
       "DBG: cpuInfo.numOfCores= 1\n"
       "DBG: cpuInfo.htLogicalPerCore= 16\n"
       "DBG: cpuInfo.htLogicalProcessors= 16\n"
       "DBG: numOfPhysicalPackages= 2\n"
       "OK: Node capacity:  2\n"},
      {"not known: the division", true, 16, 32, 0,
       "DBG: numOfPhysicalPackages= 0\n"
       "DBG: numOfProcessors= 32\n"
       "DBG: numOfPhysicalPackages= 2\n"
       "DBG: cpuInfo.numOfCores= 1\n"
       "DBG: cpuInfo.htLogicalPerCore= 16\n"
       "DBG: cpuInfo.htLogicalProcessors= 16\n"
       "DBG: numOfPhysicalPackages= 2\n"
       "OK: Node capacity:  2\n"},
      {"not known, the division gives 0: raised to 1", true, 16, 8, 0,
       "DBG: numOfPhysicalPackages= 0\n"
       "DBG: numOfProcessors= 8\n"
       "DBG: numOfPhysicalPackages= 0\n"
       "DBG: cpuInfo.numOfCores= 1\n"
       "DBG: cpuInfo.htLogicalPerCore= 16\n"
       "DBG: cpuInfo.htLogicalProcessors= 16\n"
       "DBG: numOfPhysicalPackages= 1\n"
       "OK: Node capacity:  1\n"},
      {"no CPUID: nothing is asked", false, 16, 16, 2,
       "DBG: cpuInfo.numOfCores= 1\n"
       "DBG: cpuInfo.htLogicalPerCore= 0\n"
       "DBG: cpuInfo.htLogicalProcessors= 1\n"
       "DBG: numOfPhysicalPackages= 0\n"
       "OK: Node capacity:  0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource processor;
    processor.cpuId = c.cpuId;
    processor.setVendor(1, "GenuineIntel");
    processor.set(1, {0x000006F6, c.logical << 16, 0, 1u << 28});
    setCpuIdSource(&processor);
    setProcessorCountOverride(c.processors);
    setPhysicalPackageCountOverride(c.systemPackages);
    std::string log = verboseRunWithoutVmPerl();
    setCpuIdSource(nullptr);
    setProcessorCountOverride(0);
    setPhysicalPackageCountOverride(-1);

    // From the end of the cpuid program's lines to the capacity line.
    const std::string cpuidEnd = "getInfoFromCPUID() finished with result=";
    size_t from = log.find('\n', log.find(cpuidEnd));
    size_t to = log.find("OK: Node capacity:");
    ASSERT_NE(std::string::npos, log.find(cpuidEnd)) << log;
    ASSERT_NE(std::string::npos, to) << log;
    EXPECT_EQ(c.lines, log.substr(from + 1, log.find('\n', to) - from)) << log;
  }
}

} // namespace
