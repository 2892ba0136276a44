#include "invscan/scanners/cpuid_details.h"

#include "invscan/scanners/cpuid_fake_source_test.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const uint32_t kTopologyExtensions = 1u << 22;

// Leaf 4 / 0x8000001D EAX: type, level, logical processors sharing it.
uint32_t cacheEax(uint32_t type, uint32_t level, uint32_t sharedBy) {
  return type | level << 5 | (sharedBy - 1) << 14;
}

// EBX: ways, partitions and line size; ECX then holds the sets, minus one.
uint32_t cacheEbx(uint32_t ways, uint32_t lineSize) {
  return (ways - 1) << 22 | (lineSize - 1);
}

CacheList probeAndList(TableCpuIdSource& source, CpuIdInfo* info) {
  EXPECT_EQ(0, getCpuIdInfo(info, source));
  return listCaches(*info, source);
}

TEST(CpuIdDetailsTest, DisplaySignatureFollowsEachVendorsRule) {
  struct Case {
    const char* vendor;
    uint32_t eax;
    int32_t family, model, stepping;
    const char* why;
  };
  const Case cases[] = {
      {"GenuineIntel", 0x000306A9, 6, 58, 9, "Intel family 6: model + 16 * 3"},
      {"GenuineIntel", 0x000106A2, 6, 26, 2, "Nehalem"},
      {"GenuineIntel", 0x00000F65, 15, 6, 5, "Intel family 15"},
      {"GenuineIntel", 0x01100F41, 32, 4, 1,
       "Intel family 15 adds the extended family, model ext 0"},
      {"GenuineIntel", 0x00010543, 5, 4, 3,
       "Intel family 5 ignores the extended model"},
      {"AuthenticAMD", 0x00A00F11, 25, 1, 1, "AMD family 0x19 model 1"},
      {"AuthenticAMD", 0x00A10F11, 25, 17, 1, "AMD family 0x19 model 0x11"},
      {"AuthenticAMD", 0x00020F12, 15, 33, 2, "AMD family 15, extended model"},
      {"AuthenticAMD", 0x00010681, 6, 8, 1,
       "AMD family 6 ignores the extended model"},
      {"HygonGenuine", 0x00900F22, 24, 2, 2, "Hygon numbers as AMD does"},
      {"HygonGenuine", 0x00010681, 6, 8, 1, "Hygon family 6 as AMD's"},
      {"CentaurHauls", 0x000106F2, 6, 31, 2, "other vendors: Intel's rule"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    source.setVendor(1, c.vendor);
    source.set(1, {c.eax, 0, 0, 0});
    CpuIdInfo info;
    ASSERT_EQ(0, getCpuIdInfo(&info, source));
    DisplaySignature got = displaySignature(info);
    EXPECT_EQ(c.family, got.family);
    EXPECT_EQ(c.model, got.model);
    EXPECT_EQ(c.stepping, got.stepping);
  }
}

TEST(CpuIdDetailsTest, DeterministicLeafListsEachCacheUpToTheNullEntry) {
  TableCpuIdSource source;
  source.setVendor(4, "GenuineIntel");
  source.set(4, {cacheEax(1, 1, 2), cacheEbx(8, 64), 63, 0});
  source.subLeaves[{4, 1}] = {cacheEax(2, 1, 2), cacheEbx(4, 64), 127, 0};
  // A reserved type is passed over, not taken for the end.
  source.subLeaves[{4, 2}] = {cacheEax(5, 2, 2), cacheEbx(8, 64), 511, 0};
  source.subLeaves[{4, 3}] = {cacheEax(3, 2, 2) | 1u << 9, cacheEbx(8, 64), 511,
                              0};
  source.subLeaves[{4, 5}] = {cacheEax(3, 3, 16), cacheEbx(16, 64), 8191, 0};
  CpuIdInfo info;
  CacheList list = probeAndList(source, &info);
  EXPECT_STREQ("leaf 4", list.source);
  EXPECT_TRUE(list.sharingIsAnUpperBound);
  EXPECT_EQ("L1d 32K 8w 64B x2, L1i 32K 4w 64B x2, L2 256K full 64B x2",
            describeCaches(list));
  EXPECT_EQ(8, list.levels[2].ways) << "the ways stay beside the flag";
}

TEST(CpuIdDetailsTest, MadeUpCacheReadingsStayBounded) {
  // Every sub-leaf answers the largest cache the fields can describe: no
  // table can hold a list without end, so this source overrides the lookup.
  struct Endless : TableCpuIdSource {
    CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf) override {
      if (leaf == 4)
        return {cacheEax(3, 3, 4096), 0xFFFFFFFF, 0xFFFFFFFF, 0};
      return TableCpuIdSource::readSubLeaf(leaf, subLeaf);
    }
  } source;
  source.setVendor(4, "GenuineIntel");
  CpuIdInfo info;
  CacheList list = probeAndList(source, &info);
  ASSERT_EQ(32u, list.levels.size());
  EXPECT_EQ(UINT64_MAX, list.levels[0].sizeBytes);
  EXPECT_EQ(1024, list.levels[0].ways);
  EXPECT_EQ(4096, list.levels[0].lineSize);
  EXPECT_EQ(4096, list.levels[0].sharedBy);
}

// Leaf 0x8000001D is read only where the topology-extensions bit says it is
// there and the highest extended leaf reaches it; otherwise, and where it
// lists nothing, the legacy leaves 0x80000005 and 0x80000006 stand in.
TEST(CpuIdDetailsTest, AmdCachesComeFrom8000001DOrTheLegacyLeaves) {
  const char* kDeterministic = "L1d 32K 8w 64B x2, L3 32768K 16w 64B x16";
  const char* kLegacy = "L1d 32K 8w 64B, L1i 32K 8w 64B, L2 512K 8w 64B, "
                        "L3 16384K ?w 64B";
  struct Case {
    const char* vendor;
    uint32_t maxExtLevel;
    uint32_t ext1Ecx;
    bool listed; // 0x8000001D lists caches
    const char* source;
    const char* caches;
  };
  const Case cases[] = {
      {"AuthenticAMD", 0x80000021u, kTopologyExtensions, true,
       "leaf 0x8000001D", kDeterministic},
      {"HygonGenuine", 0x8000001Fu, kTopologyExtensions, true,
       "leaf 0x8000001D", kDeterministic},
      {"AuthenticAMD", 0x80000021u, 0, true, "leaves 0x80000005 and 0x80000006",
       kLegacy},
      {"AuthenticAMD", 0x8000001Cu, kTopologyExtensions, true,
       "leaves 0x80000005 and 0x80000006", kLegacy},
      {"AuthenticAMD", 0x80000021u, kTopologyExtensions, false,
       "leaves 0x80000005 and 0x80000006", kLegacy},
      {"AuthenticAMD", 0x80000004u, 0, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.vendor) + " up to " +
                 std::to_string(c.maxExtLevel) + (c.listed ? " listed" : ""));
    TableCpuIdSource source;
    source.setVendor(1, c.vendor);
    source.set(0x80000000u, {c.maxExtLevel, 0, 0, 0});
    source.set(0x80000001u, {0, 0, c.ext1Ecx, 0});
    source.set(0x80000005u, {0, 0, 0x20080140, 0x20080140});
    source.set(0x80000006u, {0, 0, 0x02006140, 0x00809140});
    if (c.listed) {
      source.set(0x8000001Du, {cacheEax(1, 1, 2), cacheEbx(8, 64), 63, 0});
      source.subLeaves[{0x8000001Du, 1}] = {cacheEax(3, 3, 16),
                                            cacheEbx(16, 64), 32767, 0};
    }
    CpuIdInfo info;
    CacheList list = probeAndList(source, &info);
    EXPECT_STREQ(c.source, list.source);
    EXPECT_EQ(c.caches, describeCaches(list));
    EXPECT_FALSE(list.sharingIsAnUpperBound);
  }
}

// The associativity codes of leaf 0x80000006 are no numbers of ways: each
// maps through AMD's table, and the codes without a number (reserved, "see
// leaf 0x8000001D") give none.
TEST(CpuIdDetailsTest, AmdLegacyAssociativityCodes) {
  struct Case {
    uint32_t code;
    const char* l2;
  };
  // clang-format off
  const Case cases[] = {
      {0x0, ""},          {0x1, "L2 512K 1w 64B"},  {0x2, "L2 512K 2w 64B"},
      {0x3, "L2 512K 3w 64B"},  {0x4, "L2 512K 4w 64B"},
      {0x5, "L2 512K 6w 64B"},  {0x6, "L2 512K 8w 64B"},
      {0x7, "L2 512K ?w 64B"},  {0x8, "L2 512K 16w 64B"},
      {0x9, "L2 512K ?w 64B"},  {0xA, "L2 512K 32w 64B"},
      {0xB, "L2 512K 48w 64B"}, {0xC, "L2 512K 64w 64B"},
      {0xD, "L2 512K 96w 64B"}, {0xE, "L2 512K 128w 64B"},
      {0xF, "L2 512K full 64B"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    TableCpuIdSource source;
    source.setVendor(1, "AuthenticAMD");
    source.set(0x80000000u, {0x80000006u, 0, 0, 0});
    source.set(0x80000006u, {0, 0, 0x02000040 | c.code << 12, 0});
    CpuIdInfo info;
    EXPECT_EQ(c.l2, describeCaches(probeAndList(source, &info)));
  }
  // Leaf 0x80000005 gives the ways of L1 themselves, 0xFF for fully
  // associative.
  TableCpuIdSource source;
  source.setVendor(1, "AuthenticAMD");
  source.set(0x80000000u, {0x80000005u, 0, 0, 0});
  source.set(0x80000005u, {0, 0, 0x10FF0140, 0x40020140});
  CpuIdInfo info;
  EXPECT_EQ("L1d 16K full 64B, L1i 64K 2w 64B",
            describeCaches(probeAndList(source, &info)));
}

// Elsewhere, without a leaf 4 that lists caches, the record's L2 and L3
// figures stand in; the fully associative code of 0x80000006 is named so.
TEST(CpuIdDetailsTest, OtherProcessorsFallBackToTheRecordsFigures) {
  TableCpuIdSource source;
  source.setVendor(2, "GenuineIntel");
  source.set(2, {0x00000001, 0, 0, 0x00007D49});
  source.set(0x80000000u, {0x80000006u, 0, 0, 0});
  CpuIdInfo info;
  CacheList list = probeAndList(source, &info);
  EXPECT_STREQ("leaf 2 and leaf 0x80000006", list.source);
  EXPECT_EQ("L2 2048K 8w 64B, L3 4096K 16w 64B", describeCaches(list));

  TableCpuIdSource extended;
  extended.setVendor(1, "GenuineIntel");
  extended.set(0x80000000u, {0x80000006u, 0, 0, 0});
  extended.set(0x80000006u, {0, 0, 0x0100F040, 0});
  EXPECT_EQ("L2 256K full 64B", describeCaches(probeAndList(extended, &info)));
}

} // namespace
