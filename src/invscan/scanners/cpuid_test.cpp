#include "invscan/scanners/cpuid.h"

#include "invscan/scanners/cpuid_fake_source_test.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

const uint32_t kHtt = 1u << 28;

uint32_t signature(uint32_t family, uint32_t model, uint32_t stepping,
                   uint32_t extFamily = 0, uint32_t extModel = 0) {
  return stepping | model << 4 | family << 8 | extModel << 16 | extFamily << 20;
}

// Leaf 1 EBX: initial APIC ID, logical processor count, brand index.
uint32_t leaf1Ebx(uint32_t logicalCount, uint32_t apicId = 0) {
  return apicId << 24 | logicalCount << 16 | 0x0800;
}

CpuIdInfo initialRecord() {
  CpuIdInfo info;
  memset(&info, 0, sizeof(info));
  info.family = -1;
  info.L2CacheSize = -1;
  info.L3CacheSize = -1;
  info.htLogicalProcessors = 1;
  info.numOfCores = 1;
  return info;
}

int probe(TableCpuIdSource& source, CpuIdInfo* info) {
  memset(info, 0xAB, sizeof(*info)); // the probe must not rely on the caller
  return getCpuIdInfo(info, source);
}

struct Counts {
  int32_t htLogicalProcessors;
  int32_t numOfCores;
  int32_t htLogicalPerCore;
  int32_t numCoresPerChip;
  int32_t numLogicalPerChip;
  int32_t numLogicalPerCore;
};

void expectCounts(const CpuIdInfo& info, const Counts& want) {
  EXPECT_EQ(want.htLogicalProcessors, info.htLogicalProcessors);
  EXPECT_EQ(want.numOfCores, info.numOfCores);
  EXPECT_EQ(want.htLogicalPerCore, info.htLogicalPerCore);
  EXPECT_EQ(want.numCoresPerChip, info.numCoresPerChip);
  EXPECT_EQ(want.numLogicalPerChip, info.numLogicalPerChip);
  EXPECT_EQ(want.numLogicalPerCore, info.numLogicalPerCore);
}

TEST(CpuIdProbeTest, WorkedIntelFiguresGiveTwoPackagesOfEight) {
  TableCpuIdSource source;
  source.setVendor(4, "GenuineIntel");
  source.set(1, {signature(15, 4, 1), leaf1Ebx(4), 0, kHtt});
  source.set(4, {1u << 26 | 0x121, 0, 0, 0});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_EQ(2, info.Intel.maxCoresPerChip);
  expectCounts(info, {4, 2, 2, 2, 4, 2});
  EXPECT_EQ(2, packagesByDivision(8, info.htLogicalProcessors));
}

TEST(CpuIdProbeTest, WorkedAmdDualCoreFigures) {
  TableCpuIdSource source;
  source.setVendor(1, "AuthenticAMD");
  source.set(1, {signature(15, 1, 2, 0, 2), leaf1Ebx(2), 0, kHtt});
  source.set(0x80000000u, {0x80000008u, 0, 0, 0});
  source.set(0x80000008u, {0x3028, 0, 0x00000001, 0});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_EQ(2, info.AMD.numOfCores);
  EXPECT_EQ(0, info.AMD.apicCoreBitsCount);
  EXPECT_EQ(2, info.AMD.maxCoresPerChip);
  expectCounts(info, {2, 2, 1, 2, 2, 1});
}

TEST(CpuIdProbeTest, IntelCoreCounts) {
  struct Case {
    const char* why;
    uint32_t maxLevel;
    bool htt;
    uint32_t logicalCount;
    uint32_t leaf4Eax;
    int32_t maxCoresPerChip;
    Counts want;
    size_t leaf4Reads;
  };
  // clang-format off
  const Case cases[] = {
      {"quad core without HTT", 0xA, false, 16, 3u << 26 | 0x121, 4,
       {1, 4, 0, 4, 4, 1}, 1},
      {"one core, two threads", 5, true, 2, 0x121, 1, {2, 1, 2, 1, 2, 2}, 1},
      {"maxCpuidLevel 3 never reads leaf 4", 3, true, 2, 1u << 26, 0,
       {2, 1, 2, 1, 2, 2}, 0},
      {"maxCpuidLevel 3 without HTT", 3, false, 2, 1u << 26, 0,
       {1, 1, 1, 1, 1, 1}, 0},
      {"HTT set with a count of 0", 4, true, 0, 1u << 26, 2,
       {0, 2, 0, 2, 0, 0}, 1},
      {"all core-ID bits of leaf 4", 0xB, true, 128, 0xFC000000u, 64,
       {128, 64, 2, 64, 128, 2}, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(c.maxLevel, "GenuineIntel");
    source.set(1, {signature(6, 15, 6), leaf1Ebx(c.logicalCount), 0,
                   c.htt ? kHtt : 0});
    source.set(4, {c.leaf4Eax, 0x01C0003F, 0x3F, 1});
    source.set(0x80000000u, {0x80000008u, 0, 0, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_EQ(1, info.Intel.isIntel);
    EXPECT_EQ(0, info.AMD.isAMD);
    EXPECT_EQ(c.maxCoresPerChip, info.Intel.maxCoresPerChip);
    expectCounts(info, c.want);
    EXPECT_EQ(c.leaf4Reads, source.readCount(4));
    // Intel processors never take the AMD branch.
    EXPECT_EQ(0u, source.readCount(0x80000008u));
  }
}

TEST(CpuIdProbeTest, AmdCoreCounts) {
  struct Case {
    const char* why;
    uint32_t leaf1Eax;
    bool htt;
    uint32_t logicalCount;
    uint32_t maxExtLevel;
    uint32_t leaf80000008Ecx;
    int32_t family;
    int32_t model;
    int32_t amdNumOfCores;
    int32_t amdMaxCoresPerChip;
    int32_t apicCoreBitsCount;
    uint32_t powerManagement;
    Counts want;
  };
  // clang-format off
  const Case cases[] = {
      {"signature 0x00020FB1 passes the per-chip test", 0x00020FB1, true, 2,
       0x80000008u, 0x1, 15, 43, 2, 2, 0, 0x3F, {2, 2, 1, 2, 2, 1}},
      {"signature 0x00010F00 keeps the per-chip figures", 0x00010F00, true, 2,
       0x80000008u, 0x1, 15, 16, 2, 2, 0, 0x3F, {2, 2, 1, 1, 1, 1}},
      {"HTT clear", 0x00020F12, false, 2, 0x80000008u, 0x1, 15, 33, 2, 2, 0,
       0x3F, {1, 2, 0, 1, 1, 1}},
      {"no leaf 0x80000008: no core count, no per-chip division", 0x00020F12,
       true, 2, 0x80000007u, 0x1, 15, 33, 0, 0, 0, 0x3F, {2, 1, 2, 1, 1, 1}},
      {"no leaf 0x80000007 either", 0x00020F12, true, 2, 0x80000006u, 0x1,
       15, 33, 0, 0, 0, 0, {2, 1, 2, 1, 1, 1}},
      {"family 0x10 quad core fails the signature test", 0x00100F23, true, 4,
       0x8000001Bu, 0x2003, 16, 2, 4, 4, 2, 0x3F, {4, 4, 1, 1, 1, 1}},
      {"core-ID bits above the core count", 0x00600F12, true, 8, 0x8000001Eu,
       0x4003, 21, 1, 4, 16, 4, 0x3F, {8, 4, 2, 1, 1, 1}},
      {"family 6 keeps its base family and model", 0x00120683, true, 2,
       0x80000008u, 0x1, 6, 8, 2, 2, 0, 0x3F, {2, 2, 1, 1, 1, 1}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(1, "AuthenticAMD");
    source.set(1, {c.leaf1Eax, leaf1Ebx(c.logicalCount), 0, c.htt ? kHtt : 0});
    source.set(0x80000000u, {c.maxExtLevel, 0, 0, 0});
    source.set(0x80000001u, {c.leaf1Eax, 0x1234ABCD, 0x2, 0});
    source.set(0x80000007u, {0, 0, 0, 0x3F});
    source.set(0x80000008u, {0x3030, 0, c.leaf80000008Ecx, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_EQ(1, info.AMD.isAMD);
    EXPECT_EQ(c.family, info.family);
    EXPECT_EQ(c.model, info.model);
    EXPECT_EQ(c.amdNumOfCores, info.AMD.numOfCores);
    EXPECT_EQ(c.amdMaxCoresPerChip, info.AMD.maxCoresPerChip);
    EXPECT_EQ(c.apicCoreBitsCount, info.AMD.apicCoreBitsCount);
    EXPECT_EQ(c.powerManagement, info.AMD.powerManagement);
    EXPECT_EQ(0xABCDu, info.AMD.extBrandId);
    EXPECT_EQ(0, info.AMD.cmpLegacyIsSet); // bit 0 of 0x2 is clear
    expectCounts(info, c.want);
    EXPECT_EQ(c.maxExtLevel >= 0x80000008u ? 1u : 0u,
              source.readCount(0x80000008u));
    EXPECT_EQ(0u, source.readCount(4));
  }
}

TEST(CpuIdProbeTest, AmdWithoutExtendedLeavesReadsNoVendorLeaf) {
  TableCpuIdSource source;
  source.setVendor(1, "AuthenticAMD");
  source.set(1, {0x00020F12, leaf1Ebx(2), 0x1, kHtt});
  source.set(0x80000001u, {0, 0xFFFF, 0x1, 0});
  source.set(0x80000008u, {0, 0, 0x1, 0});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_EQ(0u, info.maxCpuidExtLevel);
  EXPECT_EQ(0, info.AMD.cmpLegacyIsSet);
  EXPECT_EQ(0u, info.AMD.extBrandId);
  EXPECT_EQ(0, info.AMD.numOfCores);
  expectCounts(info, {2, 1, 2, 1, 1, 1});
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 0x80000000u}), source.reads);
}

TEST(CpuIdProbeTest, ExtendedFeatureWordsAndCmpLegacy) {
  TableCpuIdSource source;
  source.setVendor(1, "AuthenticAMD");
  source.set(1, {0x00020F12, 0, 0, 0});
  source.set(0x80000000u, {0x80000001u, 0, 0, 0});
  source.set(0x80000001u, {0x11223344, 0x5566F00D, 0x00000003, 0xE3D3FBFF});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_EQ(0x11223344u, info.ext1Eax);
  EXPECT_EQ(0x5566F00Du, info.ext1Ebx);
  EXPECT_EQ(0x00000003u, info.ext1Ecx);
  EXPECT_EQ(0xE3D3FBFFu, info.ext1Edx);
  EXPECT_EQ(1, info.AMD.cmpLegacyIsSet);
  EXPECT_EQ(0xF00Du, info.AMD.extBrandId);
}

TEST(CpuIdProbeTest, FamilyAndModelExtendOnlyForAmdFamily15) {
  struct Case {
    const char* vendor;
    uint32_t leaf1Eax;
    int32_t family;
    int32_t model;
  };
  const Case cases[] = {
      {"AuthenticAMD", signature(15, 2, 3, 1, 0), 16, 2},
      {"AuthenticAMD", signature(15, 3, 0, 0, 4), 15, 67},
      {"AuthenticAMD", signature(15, 1, 0, 0xFF, 0xF), 270, 241},
      {"AuthenticAMD", signature(6, 3, 0, 1, 2), 6, 3},
      {"GenuineIntel", signature(15, 4, 1, 1, 2), 15, 4},
      {"GenuineIntel", signature(6, 7, 6, 0, 1), 6, 7},
      {"CentaurHauls", signature(15, 2, 0, 2, 1), 15, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vendor + std::string(" ") + std::to_string(c.leaf1Eax));
    TableCpuIdSource source;
    source.setVendor(1, c.vendor);
    source.set(1, {c.leaf1Eax, 0, 0, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_EQ(c.family, info.family);
    EXPECT_EQ(c.model, info.model);
  }
}

TEST(CpuIdProbeTest, LeafOneFields) {
  TableCpuIdSource source;
  source.setVendor(1, "GenuineIntel");
  source.set(1, {0xFFFFFFFFu, 0x5A10080E, 0x0000E3BD, 0xBFEBFBFF});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_EQ(0x0FFF3FFFu, info.cpuSignature);
  EXPECT_EQ(15, info.stepping);
  EXPECT_EQ(3, info.processorType);
  EXPECT_EQ(15, info.family);
  EXPECT_EQ(15, info.model);
  EXPECT_EQ(14, info.brandIndex);
  EXPECT_EQ(16, info.apicIdCount);
  EXPECT_EQ(90, info.apicId);
  EXPECT_EQ(0x0000E3BDu, info.featuresEcx);
  EXPECT_EQ(0xBFEBFBFFu, info.featuresEdx);
  EXPECT_EQ(1, info.HTTisSet);
  EXPECT_EQ(16, info.htLogicalProcessors);
}

TEST(CpuIdProbeTest, OtherVendorsCountOneCore) {
  // The vendor comparison is exact: letter case counts.
  const char* const vendors[] = {"CentaurHauls", "genuineintel", "AuthenticAMd",
                                 "GenuineIntei"};
  for (const char* vendor : vendors) {
    SCOPED_TRACE(vendor);
    TableCpuIdSource source;
    source.setVendor(4, vendor);
    source.set(1, {0x00020F12, leaf1Ebx(2), 0, kHtt});
    source.set(4, {3u << 26, 0, 0, 0});
    source.set(0x80000000u, {0x80000008u, 0, 0, 0});
    source.set(0x80000008u, {0, 0, 0x3, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_STREQ(vendor, info.vendor);
    EXPECT_EQ(0, info.Intel.isIntel);
    EXPECT_EQ(0, info.AMD.isAMD);
    expectCounts(info, {2, 1, 2, 1, 1, 1});
    EXPECT_EQ(0u, source.readCount(4));
    EXPECT_EQ(0u, source.readCount(0x80000008u));
  }
}

TEST(CpuIdProbeTest, ProcessorWithoutCpuIdKeepsTheInitialRecord) {
  TableCpuIdSource source;
  source.cpuId = false;
  source.setVendor(4, "GenuineIntel");
  CpuIdInfo info;
  EXPECT_EQ(1, probe(source, &info));
  CpuIdInfo want = initialRecord();
  EXPECT_EQ(0, memcmp(&want, &info, sizeof(info)));
  EXPECT_EQ(-1, info.family);
  EXPECT_EQ(0, info.htLogicalPerCore);
  EXPECT_TRUE(source.reads.empty());
}

TEST(CpuIdProbeTest, EachProbeStartsFromAClearedRecord) {
  TableCpuIdSource amd;
  amd.setVendor(1, "AuthenticAMD");
  amd.set(1, {0x00020F12, leaf1Ebx(2), 0, kHtt});
  amd.set(0x80000000u, {0x80000008u, 0, 0, 0});
  amd.set(0x80000008u, {0, 0, 0x1, 0});
  amd.setBrand("Dual Core AMD Opteron(tm) Processor 275");
  CpuIdInfo first;
  ASSERT_EQ(0, probe(amd, &first));
  CpuIdInfo again = first;
  ASSERT_EQ(0, getCpuIdInfo(&again, amd));
  EXPECT_EQ(0, memcmp(&first, &again, sizeof(first)));

  TableCpuIdSource bare;
  bare.setVendor(0, "GenuineIntel");
  ASSERT_EQ(0, getCpuIdInfo(&again, bare));
  EXPECT_STREQ("", again.brandString);
  EXPECT_EQ(0, again.AMD.numOfCores);
  EXPECT_EQ(-1, again.family);
  EXPECT_EQ(1, again.numOfCores);
  EXPECT_EQ(1, again.htLogicalProcessors);

  bare.cpuId = false;
  ASSERT_EQ(1, getCpuIdInfo(&first, bare));
  CpuIdInfo want = initialRecord();
  EXPECT_EQ(0, memcmp(&want, &first, sizeof(first)));
}

TEST(CpuIdProbeTest, LeavesAreReadInProbeOrderAndOnlyWithinTheLevels) {
  struct Case {
    const char* why;
    const char* vendor;
    uint32_t maxLevel;
    uint32_t maxExtLevel;
    std::vector<uint32_t> reads;
  };
  // clang-format off
  const Case cases[] = {
      {"Intel with every leaf", "GenuineIntel", 4, 0x80000008u,
       {0, 1, 2, 2, 0x80000000u, 0x80000002u, 0x80000003u, 0x80000004u,
        0x80000006u, 0x80000001u, 4}},
      {"AMD with every leaf", "AuthenticAMD", 1, 0x80000008u,
       {0, 1, 0x80000000u, 0x80000002u, 0x80000003u, 0x80000004u, 0x80000006u,
        0x80000001u, 0x80000007u, 0x80000008u}},
      {"no leaves beyond 0", "GenuineIntel", 0, 0, {0, 0x80000000u}},
      {"extended level without the high bit", "AuthenticAMD", 1, 0x0000000Du,
       {0, 1, 0x80000000u}},
      {"extended level 0x80000005", "AuthenticAMD", 2, 0x80000005u,
       {0, 1, 2, 2, 0x80000000u, 0x80000002u, 0x80000003u, 0x80000004u,
        0x80000001u}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(c.maxLevel, c.vendor);
    source.set(2, {0x00000001, 0, 0, 0});
    source.set(0x80000000u, {c.maxExtLevel, 0, 0, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_EQ(c.maxLevel, info.maxCpuidLevel);
    EXPECT_EQ(c.maxExtLevel, info.maxCpuidExtLevel);
    EXPECT_EQ(c.reads, source.reads);
  }
}

TEST(CpuIdProbeTest, BrandStringLosesLeadingBlanksOnly) {
  struct Case {
    const char* why;
    std::string brand;
    uint32_t maxExtLevel;
    const char* want;
  };
  const std::string full48(48, 'x');
  const Case cases[] = {
      {"right-justified", "              Intel(R) Pentium(R) 4 CPU 3.00GHz",
       0x80000004u, "Intel(R) Pentium(R) 4 CPU 3.00GHz"},
      {"blanks and tabs", " \t \tAMD Athlon(tm)", 0x80000004u,
       "AMD Athlon(tm)"},
      {"trailing blanks stay", "AMD Athlon  ", 0x80000008u, "AMD Athlon  "},
      {"all blanks", std::string(48, ' '), 0x80000004u, ""},
      {"all 48 characters", full48, 0x80000004u, full48.c_str()},
      {"ends at the first zero", std::string("Core\0Duo", 8), 0x80000004u,
       "Core"},
      {"extended level below the brand leaves", "Intel(R) Xeon(TM)",
       0x80000003u, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(0, "GenuineIntel");
    source.set(0x80000000u, {c.maxExtLevel, 0, 0, 0});
    source.setBrand(c.brand);
    CpuIdInfo info;
    ASSERT_EQ(0, probe(source, &info));
    EXPECT_STREQ(c.want, info.brandString);
    if (c.maxExtLevel < 0x80000004u) {
      EXPECT_EQ(0u, source.readCount(0x80000002u));
    }
  }
}

TEST(CpuIdProbeTest, VendorTextIsTerminated) {
  TableCpuIdSource source;
  source.set(0, {0, 0x41414141, 0x43434343, 0x42424242});
  CpuIdInfo info;
  ASSERT_EQ(0, probe(source, &info));
  EXPECT_STREQ("AAAABBBBCCCC", info.vendor);
}

TEST(CpuIdProbeTest, LiveProbeIsConsistent) {
  CpuIdInfo info;
  int result = getCpuIdInfo(&info, processorCpuIdSource());
  if (!processorCpuIdSource().hasCpuId()) {
    EXPECT_EQ(1, result);
    return;
  }
  ASSERT_EQ(0, result);
  EXPECT_EQ(12u, strlen(info.vendor));
  EXPECT_GE(info.maxCpuidLevel, 1u);
  EXPECT_GE(info.family, 0);
  EXPECT_GE(info.numOfCores, 1);
  EXPECT_GE(info.numCoresPerChip, 1);
  EXPECT_EQ(info.htLogicalProcessors / info.numOfCores, info.htLogicalPerCore);
  EXPECT_GE(getNumberOfProcessors(), 1);

  // The thread may move to another processor between the probes; only the
  // APIC ID belongs to one processor.
  CpuIdInfo again;
  ASSERT_EQ(0, getCpuIdInfo(&again, processorCpuIdSource()));
  again.apicId = info.apicId;
  EXPECT_EQ(0, memcmp(&info, &again, sizeof(info)));
}

} // namespace
