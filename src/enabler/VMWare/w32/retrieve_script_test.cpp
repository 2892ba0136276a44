// retrieve_script_test.cpp: the retrieval run as a whole, in this process, on
// services of the test's making: a registry, an identity, a processor and an
// interpreter that records what it was asked to run. Under the sanitizers a
// text the run keeps after it ends is a leak.
#include "retrieve_script.h"

#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "enabler/common/cpuid_stand_in_test.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/node_identity.h"
#include "enabler/common/run_log_test.h"
#include "invscan/scanners/cpuid_fake_source_test.h"
#include "reg_file.h"
#include "registry.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const char kInstalled[] =
    "REGEDIT4\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware Server]\n"
    "\"InstallPath\"=\"C:\\\\Server\\\\\"\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware VmPerl "
    "Scripting API]\n"
    "\"InstallPath\"=\"C:\\\\VmPerl\\\\\"\n";

class RetrieveScriptTest : public ::testing::Test {
protected:
  RetrieveScriptTest() : registry_(RegFile::parse(kInstalled)) {
    // Two logical processors per package.
    processor_.setIntelPackage(2);
    services_.registry = &registry_;
    services_.isWow64 = [] { return false; };
    // No cpuid program where the run looks: the record is not built.
    services_.cpuidProgram = cpuidProgramSiteIn(dir_.path());
    services_.processor = {&processor_, [this] { return processors_; },
                           [this] { return packages_; }};
    services_.nodeIdentity = [](NodeIdentity* identity, IdentityProblems*) {
      identity->nodeId = strdup("SN\\1");
      identity->manufacturer = strdup("Maker");
      identity->product = strdup("");
      return true;
    };
    services_.shortPath = [](const char* path, std::string* shortPath,
                             SystemError*) {
      *shortPath = std::string(path) + "SHORT~1\\";
      return true;
    };
    services_.runScript = [this](const ScriptCommand& command, SystemError*) {
      ran_.push_back(command);
      return scriptStatus_;
    };
  }

  /// Runs the worker with a log and gives the status; the log is in log_.
  int run() {
    ScopedEnv path("PATH", "/earlier");
    ScopedRunLog log(dir_.path() + "/en_out.txt", EnablerProgram::VMware);
    int status = runRetrieveScriptWith(services_);
    EXPECT_EQ(nullptr, logFile) << "the worker closes the log";
    searchPath_ = getEnvironment("PATH").value_or("<unset>");
    log_ = log.text();
    return status;
  }

  bool logHas(const std::string& text) const {
    return log_.find(text) != std::string::npos;
  }

  TempDir dir_;
  FileRegistry registry_;
  TableCpuIdSource processor_;
  int processors_ = 8;
  int packages_ = 0;
  int scriptStatus_ = 0;
  RetrieveScriptServices services_;
  std::vector<ScriptCommand> ran_;
  std::string log_;
  std::string searchPath_;
};

TEST_F(RetrieveScriptTest, MissingInstallationsEndTheRunWithSeven) {
  struct Case {
    const char* registry;
    const char* line;
  };
  const Case cases[] = {
      {"REGEDIT4\n", "ERROR: VMWare not installed\n"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware VmPerl "
       "Scripting API]\n\"InstallPath\"=\"C:\\\\VmPerl\\\\\"\n",
       "ERROR: VMware server version not recognized\n"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VMware, Inc.\\VMware GSX "
       "Server]\n\"InstallPath\"=\"C:\\\\GSX\\\\\"\n",
       "ERROR: VmPerl Scripting API not installed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    FileRegistry registry(RegFile::parse(c.registry));
    services_.registry = &registry;
    EXPECT_EQ(kVmwNotInstalled, run());
    EXPECT_EQ(c.line, log_) << "nothing else is done";
  }
  EXPECT_TRUE(ran_.empty());
}

TEST_F(RetrieveScriptTest, ScriptGetsTheIdentityAndCapacityAndItsStatusMaps) {
  scriptStatus_ = 3;
  EXPECT_EQ(kVmwScriptFailed, run());
  ASSERT_EQ(1u, ran_.size());
  const std::string perl = programFileName("perl");
  EXPECT_EQ("C:/VmPerl/SHORT~1/" + perl, ran_[0].program);
  const std::vector<std::string> tail(ran_[0].arguments.end() - 7,
                                      ran_[0].arguments.end());
  EXPECT_EQ(
      (std::vector<std::string>{"SN/1", "Maker", "-", "-", "-", "4", "-v"}),
      tail)
      << "8 processors, 2 per package";
  const std::string sep(1, pathListSeparator());
  EXPECT_EQ("/earlier" + sep + "C:/VmPerl/" + sep + "C:/Server/" + sep,
            searchPath_);
  EXPECT_TRUE(logHas("DBG: numOfPhysicalPackages= 0\n"
                     "DBG: numOfProcessors= 8\n"
                     "DBG: numOfPhysicalPackages= 4\n"))
      << log_;
  EXPECT_TRUE(logHas("OK: Node capacity:  4\n")) << log_;
  EXPECT_TRUE(logHas("OK: Node ID:  SN\\1\n\nOK: Manufact:  Maker\n\n"
                     "OK: Product:  -\n\n"))
      << log_;
  EXPECT_TRUE(logHas("Perl paths and command line:\nC:\\VmPerl\\\n"
                     "C:\\Server\\\n" +
                     ran_[0].commandLine + "\n" + searchPath_ + "\n\n"))
      << log_;
}

TEST_F(RetrieveScriptTest, CapacityFromTheSystemCountOrTheDivision) {
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
    processor_.cpuId = c.cpuId;
    processor_.setIntelPackage(c.logical);
    processors_ = c.processors;
    packages_ = c.systemPackages;
    ran_.clear();
    EXPECT_EQ(kVmwOk, run());
    // From the end of the cpuid program's lines to the capacity line.
    const std::string cpuidEnd = "getInfoFromCPUID() finished with result=";
    size_t from = log_.find('\n', log_.find(cpuidEnd));
    size_t to = log_.find("OK: Node capacity:");
    ASSERT_NE(std::string::npos, log_.find(cpuidEnd)) << log_;
    ASSERT_NE(std::string::npos, to) << log_;
    EXPECT_EQ(c.lines, log_.substr(from + 1, log_.find('\n', to) - from));
    ASSERT_EQ(1u, ran_.size());
    const std::string capacity(c.lines + strlen(c.lines) - 2, 1);
    EXPECT_EQ(capacity, ran_[0].arguments[ran_[0].arguments.size() - 2]);
  }
}

TEST_F(RetrieveScriptTest, IdentityAndShortPathFailuresEndTheRun) {
  services_.nodeIdentity = [](NodeIdentity* identity, IdentityProblems*) {
    identity->nodeId = strdup("kept until the run ends");
    return false;
  };
  EXPECT_EQ(kVmwNoIdentity, run());
  EXPECT_TRUE(logHas("ERROR: Could not retrieve node ID (there is a problem "
                     "with WMI)\n"))
      << log_;

  services_.nodeIdentity = [](NodeIdentity*, IdentityProblems*) {
    return true;
  };
  services_.shortPath = [](const char*, std::string*, SystemError*) {
    return false;
  };
  EXPECT_EQ(kVmwNotInstalled, run());
  EXPECT_TRUE(
      logHas("ERROR: Could not retrieve VMPerl library installation path\n"))
      << log_;
  EXPECT_TRUE(ran_.empty());
}

TEST_F(RetrieveScriptTest, ScriptStatusIsMappedAndItsOwnShownOnError) {
  // The run's status hides the script's own, so standard error keeps it.
  struct Case {
    int script;
    bool starts;
    int status;
    const char* said; ///< what standard error says, after the name
  };
  const Case cases[] = {
      {0, true, kVmwOk, ""},
      {6, true, kVmwScriptStatus6,
       "vmware-enabler: retrieve.pl ended with status 6\n"},
      {9, true, kVmwScriptFailed,
       "vmware-enabler: retrieve.pl ended with status 9, reported as 5\n"},
      {-1, false, kVmwScriptFailed,
       "vmware-enabler: retrieve.pl: start 'perl': "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    services_.runScript = [&c](const ScriptCommand&, SystemError* error) {
      if (!c.starts)
        *error = systemError("start 'perl'", noSuchFileErrorCode());
      return c.script;
    };
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(c.status, run());
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(0u, err.find(c.said)) << err;
    EXPECT_EQ(!*c.said, err.empty()) << err;
  }
}

TEST_F(RetrieveScriptTest, DryRunWritesTheHandOverAndStartsNothing) {
  const std::string outPath = dir_.path() + "/out.txt";
  const std::string notesPath = dir_.path() + "/notes.txt";
  FILE* out = fopen(outPath.c_str(), "wb");
  FILE* notes = fopen(notesPath.c_str(), "wb");
  ASSERT_TRUE(out && notes);
  // The dry run's runScript in place of the one that records a start.
  services_.runScript =
      vmwDryRunRetrieveServices(out, notes, nullptr).runScript;
  ScopedEnv record("PHYSICAL_PROCESSOR", nullptr);
  scriptStatus_ = 6;
  // Neither the interpreter nor the script is there: the real run would end
  // with 5, whatever the script would have returned.
  EXPECT_EQ(kVmwScriptFailed, run());
  fclose(out);
  fclose(notes);
  EXPECT_TRUE(ran_.empty());

  const std::string perl = "C:/VmPerl/SHORT~1/" + programFileName("perl");
  const std::string lib = "C:/VmPerl/SHORT~1/perl5/site_perl/5.005";
  const char sep = pathListSeparator();
  EXPECT_EQ("interpreter " + perl + "\n" + "argument 1 -I" + lib + "\n" +
                "argument 2 -I" + lib +
                "/MSWin32-x86\n"
                "argument 3 retrieve.pl\n"
                "argument 4 SN/1\nargument 5 Maker\nargument 6 -\n"
                "argument 7 -\nargument 8 -\nargument 9 4\n"
                "argument 10 -v\n"
                "command-line " +
                perl + " -I" + lib + " -I" + lib +
                "/MSWin32-x86  retrieve.pl \"SN/1\" \"Maker\"  \"-\" \"-\" "
                "\"-\" 4 -v\n"
                "PATH /earlier" +
                sep + "C:/VmPerl/" + sep + "C:/Server/" + sep +
                "\nPHYSICAL_PROCESSOR (unset)\n",
            readTestFile(outPath));
  // Neither the interpreter nor the script is where the run would start it.
  std::string said = readTestFile(notesPath);
  EXPECT_NE(std::string::npos, said.find("vmware-enabler: the interpreter " +
                                         perl + " is not there: "))
      << said;
  EXPECT_NE(std::string::npos,
            said.find("vmware-enabler: the script retrieve.pl is not there: "))
      << said;
  EXPECT_NE(std::string::npos,
            said.find("; looked for in the start folder " +
                      currentDirectory().value_or("?") + "\n"))
      << said;
  // The log is that of a real run: complete, closed before the hand-over.
  EXPECT_TRUE(logHas("Perl paths and command line:\n")) << log_;
}

} // namespace
