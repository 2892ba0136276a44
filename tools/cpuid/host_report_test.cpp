// host_report_test.cpp: the cpuid program's decoding of CPUID readings, its
// report, and its view of this processor. The topology's tests are the
// scanner's (cpu_topology_test.cpp).
#include "host_report.h"


#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <utility>

namespace {

// CPUID readings of a processor, by leaf and sub-leaf; anything else reads as
// zeros, as an unsupported leaf does on a real part.
class RecordedReader : public CpuidReader {
public:
  using Key = std::pair<uint32_t, uint32_t>;
  explicit RecordedReader(std::map<Key, CpuidReading> readings)
      : readings_(std::move(readings)) {}
  bool available() override { return true; }
  CpuidReading read(uint32_t leaf, uint32_t subleaf) override {
    auto it = readings_.find({leaf, subleaf});
    return it == readings_.end() ? CpuidReading{} : it->second;
  }

private:
  std::map<Key, CpuidReading> readings_;
};

class NoCpuidReader : public CpuidReader {
public:
  bool available() override { return false; }
  CpuidReading read(uint32_t, uint32_t) override { return {}; }
};

// Leaf 0 of a processor: highest leaf and the vendor string in EBX, EDX, ECX.
CpuidReading leaf0(uint32_t maxLeaf, const char (&vendor)[13]) {
  CpuidReading r{maxLeaf, 0, 0, 0};
  memcpy(&r.ebx, vendor, 4);
  memcpy(&r.edx, vendor + 4, 4);
  memcpy(&r.ecx, vendor + 8, 4);
  return r;
}

const uint32_t kLongMode = 1u << 29; // 80000001H EDX
const uint32_t kHtt = 1u << 28;      // leaf 1 EDX
const uint32_t kTopoExt = 1u << 22;  // 80000001H ECX

} // namespace

TEST(HostReportTest, ProcessorFactsFromRecordedReadings) {
  struct Case {
    const char* why;
    std::map<RecordedReader::Key, CpuidReading> readings;
    const char* vendor;
    int family, type;
    bool longMode;
    int cores, threads, mhz;
  };
  const Case cases[] = {
      {"Intel with the extended topology leaf: 4 cores, 2 threads each",
       {{{0, 0}, leaf0(0x16, "GenuineIntel")},
        {{1, 0}, {0x000306C3, 0x00100800, 0x7FFAFBFF, 0xBFEBFBFF}},
        {{0xB, 0}, {1, 2, 0x0100, 0}},
        {{0xB, 1}, {4, 8, 0x0201, 0}},
        {{0xB, 2}, {0, 0, 0x0002, 0}},
        {{0x16, 0}, {2400, 3800, 100, 0}},
        {{0x80000000, 0}, {0x80000008, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0x21, kLongMode}}},
       "GenuineIntel",
       6,
       0,
       true,
       4,
       2,
       2400},
      {"AMD family 17H without leaf 0BH: 16 threads, 2 per core",
       {{{0, 0}, leaf0(0xD, "AuthenticAMD")},
        {{1, 0}, {0x00800F11, 0x00100800, 0, kHtt}},
        {{0x80000000, 0}, {0x8000001F, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, kTopoExt, kLongMode}},
        {{0x80000008, 0}, {0x3030, 0, 0x0000400F, 0}},
        {{0x8000001E, 0}, {0, 0x0100, 0, 0}}},
       "AuthenticAMD",
       23,
       0,
       true,
       8,
       2,
       0},
      {"older AMD without topology extensions: one thread per core",
       {{{0, 0}, leaf0(0x1, "AuthenticAMD")},
        {{1, 0}, {0x00100F42, 0x00040800, 0, kHtt}},
        {{0x80000000, 0}, {0x8000001B, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0, kLongMode}},
        {{0x80000008, 0}, {0x3030, 0, 0x00000003, 0}}},
       "AuthenticAMD",
       16,
       0,
       true,
       4,
       1,
       0},
      {"Intel quad core without leaf 0BH: leaf 4 counts the cores",
       {{{0, 0}, leaf0(0xA, "GenuineIntel")},
        {{1, 0}, {0x00010677, 0x00040800, 0, kHtt}},
        {{4, 0}, {0x0C004121, 0, 0, 0}},
        {{0x80000000, 0}, {0x80000008, 0, 0, 0}},
        {{0x80000001, 0}, {0, 0, 0, kLongMode}}},
       "GenuineIntel",
       6,
       0,
       true,
       4,
       1,
       0},
      {"32-bit Pentium 4 with Hyper-Threading, no leaf 4, OEM overdrive type",
       {{{0, 0}, leaf0(0x2, "GenuineIntel")},
        {{1, 0}, {0x00001F29, 0x00020800, 0, kHtt}},
        {{0x80000000, 0}, {0x80000004, 0, 0, 0}}},
       "GenuineIntel",
       15,
       1,
       false,
       1,
       2,
       0},
      {"a single-core part without the HTT flag",
       {{{0, 0}, leaf0(0x1, "GenuineIntel")},
        {{1, 0}, {0x00000695, 0x00010000, 0, 0}}},
       "GenuineIntel",
       6,
       0,
       false,
       1,
       1,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    RecordedReader reader(c.readings);
    ProcessorFacts facts;
    ASSERT_TRUE(readProcessorFacts(reader, &facts));
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
  NoCpuidReader reader;
  ProcessorFacts facts;
  EXPECT_FALSE(readProcessorFacts(reader, &facts));
  CpuTopology topology;
  topology.packages = 1;
  topology.cores = 2;
  topology.logical = 4;
  std::string report = formatHostReport(nullptr, &topology, 0);
  EXPECT_EQ(0u, report.find("1.0 1 "));
  EXPECT_EQ(std::string::npos, report.find("Manufacturer"));
}

TEST(HostReportTest, VendorControlBytesCannotBreakTheReportLine) {
  RecordedReader reader(std::map<RecordedReader::Key, CpuidReading>{
      {{0, 0}, leaf0(0x1, "Evil\nVendor\r")}});
  ProcessorFacts facts;
  ASSERT_TRUE(readProcessorFacts(reader, &facts));
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
  ASSERT_TRUE(readProcessorFacts(instructionCpuidReader(), &facts));
  EXPECT_EQ(12u, facts.vendor.size());
  EXPECT_GE(facts.coresPerPackage, 1);
  EXPECT_GE(facts.threadsPerCore, 1);
}
