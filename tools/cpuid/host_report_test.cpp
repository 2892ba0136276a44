// host_report_test.cpp: the cpuid program's decoding of CPUID readings, its
// report, and its view of this processor. The topology's tests are the
// scanner's (cpu_topology_test.cpp).
#include "host_report.h"

#include "invscan/scanners/cpuid_fake_source_test.h"

#include <gtest/gtest.h>

namespace {

const uint32_t kLongMode = 1u << 29; // 80000001H EDX
const uint32_t kHtt = 1u << 28;      // leaf 1 EDX
const uint32_t kTopoExt = 1u << 22;  // 80000001H ECX

} // namespace

TEST(HostReportTest, ProcessorFactsFromRecordedReadings) {
  struct Case {
    const char* why;
    uint32_t maxLeaf;
    const char* vendor;
    TableCpuIdSource::Readings readings; ///< all but leaf 0
    int family, type;
    bool longMode;
    int cores, threads, mhz;
  };
  const Case cases[] = {
      {"Intel with the extended topology leaf: 4 cores, 2 threads each",
       0x16,
       "GenuineIntel",
       {{{1, 0}, {0x000306C3, 0x00100800, 0x7FFAFBFF, 0xBFEBFBFF}},
        {{0xB, 0}, {1, 2, 0x0100, 0}},
        {{0xB, 1}, {4, 8, 0x0201, 0}},
        {{0xB, 2}, {0, 0, 0x0002, 0}},
        {{0x16, 0}, {2400, 3800, 100, 0}},
        {{0x80000000, 0}, {0x80000008, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0x21, kLongMode}}},
       6,
       0,
       true,
       4,
       2,
       2400},
      {"AMD family 17H without leaf 0BH: 16 threads, 2 per core",
       0xD,
       "AuthenticAMD",
       {{{1, 0}, {0x00800F11, 0x00100800, 0, kHtt}},
        {{0x80000000, 0}, {0x8000001F, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, kTopoExt, kLongMode}},
        {{0x80000008, 0}, {0x3030, 0, 0x0000400F, 0}},
        {{0x8000001E, 0}, {0, 0x0100, 0, 0}}},
       23,
       0,
       true,
       8,
       2,
       0},
      {"older AMD without topology extensions: one thread per core",
       0x1,
       "AuthenticAMD",
       {{{1, 0}, {0x00100F42, 0x00040800, 0, kHtt}},
        {{0x80000000, 0}, {0x8000001B, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0, kLongMode}},
        {{0x80000008, 0}, {0x3030, 0, 0x00000003, 0}}},
       16,
       0,
       true,
       4,
       1,
       0},
      {"Intel quad core without leaf 0BH: leaf 4 counts the cores",
       0xA,
       "GenuineIntel",
       {{{1, 0}, {0x00010677, 0x00040800, 0, kHtt}},
        {{4, 0}, {0x0C004121, 0, 0, 0}},
        {{0x80000000, 0}, {0x80000008, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0, kLongMode}}},
       6,
       0,
       true,
       4,
       1,
       0},
      {"32-bit Pentium 4 with Hyper-Threading, no leaf 4, OEM overdrive type",
       0x2,
       "GenuineIntel",
       {{{1, 0}, {0x00001F29, 0x00020800, 0, kHtt}},
        {{0x80000000, 0}, {0x80000004, 0, 0, 0}}},
       15,
       1,
       false,
       1,
       2,
       0},
      {"a single-core part without the HTT flag",
       0x1,
       "GenuineIntel",
       {{{1, 0}, {0x00000695, 0x00010000, 0, 0}}},
       6,
       0,
       false,
       1,
       1,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(c.maxLeaf, c.vendor);
    source.setReadings(c.readings);
    ProcessorFacts facts;
    ASSERT_TRUE(readProcessorFacts(source, &facts));
    EXPECT_EQ(c.vendor, facts.vendor);
    EXPECT_EQ(c.family, facts.family);
    EXPECT_EQ(c.type, facts.type);
    EXPECT_EQ(c.longMode, facts.longMode);
    EXPECT_EQ(c.cores, facts.coresPerPackage);
    EXPECT_EQ(c.threads, facts.threadsPerCore);
    EXPECT_EQ(c.mhz, facts.baseClockMHz);
  }
}

TEST(HostReportTest, NoCpuidGivesNoFactsAndAnErrorStatus) {
  TableCpuIdSource source;
  source.cpuId = false;
  ProcessorFacts facts;
  EXPECT_FALSE(readProcessorFacts(source, &facts));
  CpuTopology topology;
  topology.packages = 1;
  topology.cores = 2;
  topology.logical = 4;
  std::string report = formatHostReport(nullptr, &topology, 0);
  EXPECT_EQ(0u, report.find("1.0 1 "));
  EXPECT_EQ(std::string::npos, report.find("Manufacturer"));
}

TEST(HostReportTest, VendorControlBytesCannotBreakTheReportLine) {
  TableCpuIdSource source;
  source.setVendor(1, "Evil\nVendor\r");
  ProcessorFacts facts;
  ASSERT_TRUE(readProcessorFacts(source, &facts));
  EXPECT_EQ("Evil?Vendor?", facts.vendor);
}

TEST(HostReportTest, CountsArePerPackageAndUnknownTopologyIsAnError) {
  ProcessorFacts facts;
  facts.vendor = "GenuineIntel";
  facts.family = 6;
  facts.longMode = true;
  facts.coresPerPackage = 4;
  facts.threadsPerCore = 2;
  CpuTopology topology;
  topology.packages = 2;
  topology.cores = 8;
  topology.logical = 16;
  std::string report = formatHostReport(&facts, &topology, 2400);
  EXPECT_EQ(0u, report.find("1.0 0 "));
  for (const char* line :
       {"\nActivePackageCount:i=2\n", "\nManufacturer:s=GenuineIntel\n",
        "\nFamily:s=6\n", "\nType:s=0\n", "\nActiveCoreCount:i=4\n",
        "\nActiveProcCount:i=8\n", "\nCpuClockMHz:i=2400\n", "\nIEM64T:i=1\n",
        "\nLM:i=1\n", "\nCorePerPackageCount:i=4\n",
        "\nHtPerCoreCount:i=2\n"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(std::string::npos, report.find(line));
  }

  std::string unknown = formatHostReport(&facts, nullptr, 2400);
  EXPECT_EQ(0u, unknown.find("1.0 1 "));
  EXPECT_EQ(std::string::npos, unknown.find("ActivePackageCount"));
  EXPECT_EQ(std::string::npos, unknown.find("ActiveCoreCount"));
}

TEST(HostReportTest, ThisProcessorGivesConsistentFacts) {
  ProcessorFacts facts;
  // The machines the tests run on are x86 ones, which execute CPUID.
  ASSERT_TRUE(readProcessorFacts(processorCpuIdSource(), &facts));
  EXPECT_EQ(12u, facts.vendor.size());
  EXPECT_GE(facts.coresPerPackage, 1);
  EXPECT_GE(facts.threadsPerCore, 1);
}
