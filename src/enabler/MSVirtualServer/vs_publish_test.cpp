#include "enabler/MSVirtualServer/vs_publish.h"

#include "common/platform/paths.h"
#include "enabler/MSVirtualServer/vs_host_test.h"
#include "enabler/MSVirtualServer/vs_simulated.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/run_log_test.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdio.h>

namespace {

std::string modelPath;
std::string recordPath;

/// What vsConnect does with the simulated server, on every platform.
VsResult connectSimulated(const char*, VsVirtualServerObject** server) {
  VsResult result =
      vsCreateSimulatedServer(modelPath.c_str(), recordPath.c_str(), server);
  if (vsFailed(result))
    return result;
  std::wstring version;
  return (*server)->get_Version(&version);
}

unsigned long releaseSimulated(VsVirtualServerObject* server) {
  return server ? server->Release() : 0;
}

const char kServer[] = "1.0 0 model\n(server\nName:s=HOST-A\n"
                       "Version:s=1.3.7871 SP1\n";

/// A running machine with the given cap, host processors and maximum system
/// capacity lines (each may be empty) and fail list.
std::string machine(const std::string& name, int state, const std::string& cap,
                    const std::string& processors, const std::string& maxSystem,
                    const std::string& fail = "") {
  std::string text =
      "(machine\nName:s=" + name + "\nState:i=" + std::to_string(state) + "\n";
  if (!maxSystem.empty())
    text += "MaxSystemCapacity:" + maxSystem + "\n";
  if (!fail.empty())
    text += "Fail:s=" + fail + "\n";
  text += "(configuration\n";
  if (!cap.empty())
    text += "settings/host/resource_control/cpu/cap:" + cap + "\n";
  if (!processors.empty())
    text += "settings/host/resource_control/cpu/host_processors:" + processors +
            "\n";
  return text + ")\n)\n";
}

const char kIdentityLines[] =
    "OK: Parameter KEP_NODE_ID set with value 'SN-1'\n"
    "OK: Parameter KEP_HOST_PROD set with value 'Prod'\n"
    "OK: Parameter KEP_HOST_MAN set with value 'Maker'\n"
    "OK: Parameter KEP_HOST_VERS set with value 'BIOS 1'\n"
    "OK: Parameter KEP_HOST_TYPE set with value '-'\n";

/// The nine parameters a run sets on web01, running with a cap of 25, four
/// host processors and two packages, as the record and the dry run list them.
const char kWeb01Parameters[] =
    "web01\tKEP_NODE_ID\tSN-1\n"
    "web01\tKEP_HOST_PRODUCT\tProd\n"
    "web01\tKEP_HOST_MANUFACTURER\tMaker\n"
    "web01\tKEP_HOST_VERSION\tBIOS 1\n"
    "web01\tKEP_HOST_TYPE\t-\n"
    "web01\tKEP_NODE_CAPACITY\t2\n"
    "web01\tKEP_VM_ID\tweb01\n"
    "web01\tKEP_VM_CAPACITY\t100\n"
    "web01\tKEP_PHYSICAL_PROCESSOR\t2:GenuineIntel:6:0:4:2:2400:64\n";

/// `log` without the record builder's own lines, from its start to its
/// result (processor_record_test pins those); a run builds the record once.
std::string withoutRecordBuilder(const std::string& log) {
  const std::string first = "getInfoFromCPUID() started.\n";
  size_t start = log.find(first);
  if (start == std::string::npos)
    return log;
  size_t end = log.find("getInfoFromCPUID() finished with result=", start);
  EXPECT_NE(std::string::npos, end) << log;
  end = log.find('\n', end);
  if (end == std::string::npos)
    return log;
  EXPECT_EQ(std::string::npos, log.find(first, end)) << "built twice: " << log;
  return log.substr(0, start) + log.substr(end + 1);
}

class VsPublishTest : public ::testing::Test {
protected:
  VsPublishTest() {
    modelPath = dir_.path() + "/model.txt";
    recordPath = dir_.path() + "/record.txt";
  }

  /// Runs the worker on `model` and gives its log; `sink` set makes it a dry
  /// run.
  std::string run(const std::string& model,
                  decltype(VsPublishServices::parameterSink) sink = nullptr) {
    EXPECT_TRUE(writeTestFile(modelPath, model));
    remove(recordPath.c_str());
    ScopedRunLog log(dir_.path() + "/log.txt", EnablerProgram::VirtualServer);
    VsPublishServices services =
        host_.services(connectSimulated, releaseSimulated);
    services.parameterSink = sink;
    publishParametersWith(services);
    EXPECT_EQ(0, vsSimulatedObjectCount()) << "objects left unreleased";
    return withoutRecordBuilder(log.text());
  }
  std::string records() { return readTestFile(recordPath); }

  TempDir dir_;
  VsTestHost host_{dir_.path()};
};

TEST_F(VsPublishTest, RunningMachineGetsEveryParameter) {
  std::string log =
      run(kServer + machine("web01", 5, "f=25", "i=4", "f=50") + ")\n");
  EXPECT_EQ(std::string("\nHOST-A version 1.3.7871 SP1\n"
                        "hostPackageCount=2\n"
                        "\n>> web01: Running\n"
                        "max_vm_cap=25.000000\n"
                        "host_cpu_count=4\n"
                        "max_sys_cap=50.000000\n") +
                kIdentityLines +
                "cores 1\nht per core 2\nht processors 2\n"
                "numOfProcessors=4\nnumOfPhysicalPackages=2\n"
                "OK: Parameter KEP_NODE_CAPACITY set with value '2'\n"
                "OK: Parameter KEP_VM_ID set with value 'web01'\n"
                "Setting KEP_VM_CAPACITY with max_vm_cap=100.000000\n"
                "OK: Parameter KEP_VM_CAPACITY set with value '100'\n"
                "OK: Parameter KEP_PHYSICAL_PROCESSOR set with value "
                "'2:GenuineIntel:6:0:4:2:2400:64'\n",
            log);
  EXPECT_EQ(kWeb01Parameters, records());
  EXPECT_EQ(kVsOk, returnCode);
}

TEST_F(VsPublishTest, ProbeFailureFailsNodeCapacityButItIsStillSet) {
  host_.processor.cpuId = false;
  // Without CPUID the system's count is not asked for.
  host_.packages = 3;
  std::string log =
      run(kServer + machine("web01", 5, "f=25", "i=4", "f=50") + ")\n");
  EXPECT_NE(std::string::npos,
            log.find("ERROR: Failure during KEP_NODE_CAPACITY set\n"
                     "cores 1\nht per core 0\nht processors 1\n"
                     "numOfProcessors=4\nnumOfPhysicalPackages=4\n"
                     "OK: Parameter KEP_NODE_CAPACITY set with value '4'\n"))
      << log;
  EXPECT_NE(std::string::npos, records().find("web01\tKEP_NODE_CAPACITY\t4\n"));
  EXPECT_EQ(kVsSetFailed, returnCode);
}

TEST_F(VsPublishTest, NoLogicalProcessorsPerPackageCountsNoPackages) {
  host_.processor.setIntelPackage(0);
  std::string log =
      run(kServer + machine("web01", 5, "f=25", "i=4", "") + ")\n");
  EXPECT_NE(std::string::npos,
            log.find("ht processors 0\nnumOfProcessors=4\n"
                     "numOfPhysicalPackages=0\n"
                     "OK: Parameter KEP_NODE_CAPACITY set with value '0'\n"))
      << log;
  EXPECT_EQ(kVsZeroCapacity, returnCode);
}

TEST_F(VsPublishTest, NodeCapacityIsTheSystemCountWhereKnown) {
  struct Case {
    const char* why;
    int systemPackages, processors;
    uint32_t logical;
    int packages, status;
  };
  const Case cases[] = {
      {"one package of 8 threads, 16 APIC IDs", 1, 8, 16, 1, kVsOk},
      {"not known, and the division gives 0", 0, 8, 16, 0, kVsZeroCapacity},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    host_.packages = c.systemPackages;
    host_.processors = c.processors;
    host_.processor.setIntelPackage(c.logical);
    std::string log =
        run(kServer + machine("web01", 5, "f=25", "i=4", "") + ")\n");
    std::string n = std::to_string(c.packages);
    EXPECT_NE(std::string::npos,
              log.find("ht processors " + std::to_string(c.logical) +
                       "\nnumOfProcessors=" + std::to_string(c.processors) +
                       "\nnumOfPhysicalPackages=" + n +
                       "\nOK: Parameter KEP_NODE_CAPACITY set with value '" +
                       n + "'\n"))
        << log;
    EXPECT_NE(std::string::npos,
              records().find("web01\tKEP_NODE_CAPACITY\t" + n + "\n"));
    EXPECT_EQ(c.status, returnCode);
  }
}

TEST_F(VsPublishTest, SystemIsAskedForItsPackagesOncePerRun) {
  host_.packages = 2;
  run(kServer + machine("web01", 5, "f=25", "i=4", "") +
      machine("web02", 5, "f=25", "i=4", "") + ")\n");
  EXPECT_NE(std::string::npos, records().find("web02\tKEP_NODE_CAPACITY\t2\n"));
  EXPECT_EQ(1, host_.packageQuestions);
}

TEST_F(VsPublishTest, PackageCountAbove255SendsItsLowEightBits) {
  host_.processors = 512;
  std::string log = run(kServer + machine("web01", 5, "", "", "") + ")\n");
  EXPECT_NE(std::string::npos,
            log.find("numOfPhysicalPackages=256\n"
                     "OK: Parameter KEP_NODE_CAPACITY set with value '256'\n"))
      << log;
  EXPECT_NE(std::string::npos, records().find("web01\tKEP_NODE_CAPACITY\t0\n"));
}

TEST_F(VsPublishTest, SystemCapacityRuleWithoutCpuidCountUsesProbeCount) {
  struct Case {
    uint32_t logical;
    const char* expected; // null: no KEP_VM_CAPACITY
    const char* why;
  };
  const Case cases[] = {
      {2,
       "Setting KEP_VM_CAPACITY with max_sys_cap=100.000000\n"
       "OK: Parameter KEP_VM_CAPACITY set with value '100'\n",
       "probe counts 4 / 2 = 2 packages"},
      {8, nullptr, "probe counts 4 / 8 = 0 packages"},
      {0, nullptr, "probe counts no packages at all"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    host_.cpuidProgram =
        cpuidProgramSiteIn(dir_.path() + pathSeparator() + "no_cpuid");
    host_.processor.setIntelPackage(c.logical);
    std::string log =
        run(kServer + machine("web01", 5, "f=0", "i=4", "f=50") + ")\n");
    EXPECT_NE(std::string::npos, log.find("hostPackageCount=-1\n"));
    EXPECT_EQ(std::string::npos, log.find("KEP_PHYSICAL_PROCESSOR"));
    if (c.expected) {
      EXPECT_NE(std::string::npos, log.find(c.expected)) << log;
      EXPECT_NE(std::string::npos,
                records().find("web01\tKEP_VM_CAPACITY\t100\n"));
    } else {
      EXPECT_EQ(std::string::npos, log.find("KEP_VM_CAPACITY")) << log;
      EXPECT_EQ(std::string::npos, records().find("KEP_VM_CAPACITY"));
    }
  }
}

TEST_F(VsPublishTest, ValuesOfOtherTypesAreConvertedFirst) {
  struct Case {
    std::string cap, processors, maxSystem;
    const char* lines;
    int status;
    const char* why;
  };
  const Case cases[] = {
      {"s=25", "s=4", "i=50",
       "max_vm_cap=25.000000\nhost_cpu_count=4\nmax_sys_cap=50.000000\n", kVsOk,
       "texts and an integer"},
      {"i=25", "f=4.5", "s=12.5",
       "max_vm_cap=25.000000\nhost_cpu_count=4\nmax_sys_cap=12.500000\n", kVsOk,
       "4.5 rounds to the even 4"},
      {"s=none", "s=four", "s=",
       "ERROR: failure retrieving max vm capacity\n"
       "ERROR: failure retrieving host cpu count\n"
       "ERROR: failure retrieving max system capacity\n",
       kVsCapacityUnread, "texts that are no numbers"},
      {"f=25", "f=3e10", "f=50",
       "max_vm_cap=25.000000\nERROR: failure retrieving host cpu count\n"
       "max_sys_cap=50.000000\n",
       kVsOk, "too large for 32 bits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string log =
        run(kServer + machine("web01", 2, c.cap, c.processors, c.maxSystem) +
            ")\n");
    EXPECT_NE(std::string::npos, log.find("\n>> web01: Saved\nOK: Exiting\n" +
                                          std::string(c.lines)))
        << log;
    EXPECT_EQ(c.status, returnCode);
  }
}

TEST_F(VsPublishTest, EarlyEndsReleaseEverythingObtained) {
  // The end-to-end suite runs every failure point; here each early end is
  // checked for objects left behind.
  // Standard error names the failed step and its code in every run.
  const std::pair<const char*, const char*> serverFails[] = {
      {"connect", "connecting"},
      {"get_Name", "get_Name"},
      {"get_Version", "get_Version"},
      {"get_VirtualMachines", "reading the list of virtual machines"},
      {"get_Count", "reading the list of virtual machines"}};
  for (const auto& fail : serverFails) {
    SCOPED_TRACE(fail.first);
    ::testing::internal::CaptureStderr();
    run(std::string("1.0 0 model\n(server\nFail:s=") + fail.first + "\n" +
        machine("web01", 5, "f=25", "i=4", "f=50") + ")\n");
    // (Windows adds the system's text for the code.)
    EXPECT_EQ(0u, ::testing::internal::GetCapturedStderr().find(
                      std::string("vs-enabler: Virtual Server: ") +
                      fail.second + " failed with 0x80004005"));
  }
  const char* const machineFails[] = {"get_Name", "get_State",
                                      "get_CapacityObject",
                                      "get_GuestParameterObject"};
  for (const char* fail : machineFails) {
    SCOPED_TRACE(fail);
    run(kServer + machine("web01", 5, "f=25", "i=4", "f=50", fail) + ")\n");
  }
}

TEST_F(VsPublishTest, IdentityProblemsAndEmptyValuesAreSaid) {
  host_.nodeId = nullptr;
  host_.version = nullptr;
  host_.identityProblems = {"Win32_BIOS.SerialNumber: the property is null"};
  ::testing::internal::CaptureStderr();
  run(kServer + machine("web01", 5, "f=25", "i=4", "f=50") + ")\n");
  EXPECT_EQ("vs-enabler: node identity: Win32_BIOS.SerialNumber: the property "
            "is null\n"
            "vs-enabler: node identity: published empty: KEP_NODE_ID, "
            "KEP_HOST_VERS\n",
            ::testing::internal::GetCapturedStderr());
  EXPECT_EQ(kVsOk, returnCode) << "the status stays what it was";
}

TEST_F(VsPublishTest, LastFailureDecidesTheStatus) {
  // An unreadable cap (3) and a failed set (5), in both orders.
  std::string log = run(
      kServer + machine("a", 5, "", "i=4", "f=50") +
      machine("b", 5, "f=25", "i=4", "f=50", "SetParameter:KEP_VM_ID") + ")\n");
  EXPECT_EQ(kVsSetFailed, returnCode);
  log = run(kServer +
            machine("b", 5, "f=25", "i=4", "f=50", "SetParameter:KEP_VM_ID") +
            machine("a", 2, "", "i=4", "f=50") + ")\n");
  EXPECT_EQ(kVsCapacityUnread, returnCode);
}

TEST_F(VsPublishTest, DryRunHandsEveryParameterToTheSinkAndSetsNone) {
  // Every SetParameter of the model fails: a call of it would show as status
  // 5 and failure lines.
  const std::string sinkPath = dir_.path() + "/dry.txt";
  FILE* out = fopen(sinkPath.c_str(), "wb");
  ASSERT_NE(nullptr, out);
  VsPublishServices dry = vsDryRunPublishServices(out, nullptr);
  std::string log =
      run(kServer + machine("web01", 5, "f=25", "i=4", "f=50", "SetParameter") +
              machine("db01", 2, "f=25", "i=4", "f=50") + ")\n",
          dry.parameterSink);
  fclose(out);
  EXPECT_EQ("", records());
  EXPECT_EQ(kVsOk, returnCode);
  EXPECT_EQ(kWeb01Parameters, readTestFile(sinkPath));
  // The log says what would be set, never that something was.
  EXPECT_EQ(std::string::npos, log.find("OK: Parameter")) << log;
  EXPECT_EQ(std::string::npos, log.find("ERROR:")) << log;
  EXPECT_NE(std::string::npos,
            log.find("Dry run: Parameter KEP_HOST_PROD would be set with "
                     "value 'Prod'\n"))
      << log;
  EXPECT_NE(std::string::npos,
            log.find("numOfPhysicalPackages=2\n"
                     "Dry run: Parameter KEP_NODE_CAPACITY would be set with "
                     "value '2'\n"))
      << log;
}

} // namespace
