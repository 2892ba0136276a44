#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_fake_source_test.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Cache {
  int32_t size;
  int32_t line;
  int32_t ways;
};

const Cache kNone = {-1, 0, 0};

void expectL2(const Cache& want, const CpuIdInfo& info) {
  EXPECT_EQ(want.size, info.L2CacheSize);
  EXPECT_EQ(want.line, info.L2CacheLineSize);
  EXPECT_EQ(want.ways, info.L2CacheAssociativity);
}

void expectL3(const Cache& want, const CpuIdInfo& info) {
  EXPECT_EQ(want.size, info.L3CacheSize);
  EXPECT_EQ(want.line, info.L3CacheLineSize);
  EXPECT_EQ(want.ways, info.L3CacheAssociativity);
}

// An Intel processor whose leaf 2 answers `leaf2` and which has no extended
// leaves.
CpuIdInfo probeLeaf2(const std::vector<CpuIdRegisters>& leaf2,
                     TableCpuIdSource* sourceOut = nullptr) {
  TableCpuIdSource local;
  TableCpuIdSource& source = sourceOut ? *sourceOut : local;
  source.setVendor(2, "GenuineIntel");
  source.set(1, {0x00000F29, 0, 0, 0});
  source.setSequence(2, leaf2);
  CpuIdInfo info;
  EXPECT_EQ(0, getCpuIdInfo(&info, source));
  return info;
}

std::vector<unsigned char> collected(const CpuIdInfo& info) {
  return std::vector<unsigned char>(info.cacheDescriptors,
                                    info.cacheDescriptors + descriptorCount);
}

TEST(CpuIdCacheTest, OnePassStoresSixteenBytesMostSignificantFirst) {
  TableCpuIdSource source;
  CpuIdInfo info = probeLeaf2({{0x665B5001, 0, 0, 0x007A7000}}, &source);
  const std::vector<unsigned char> want = {
      0x66, 0x5B, 0x50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7A, 0x70, 0x00};
  EXPECT_EQ(16, descriptorCount);
  EXPECT_EQ(want, collected(info));
  expectL2({256, 64, 8}, info);
  expectL3(kNone, info);
}

TEST(CpuIdCacheTest, RegistersWithBit31HoldNoDescriptors) {
  struct Case {
    const char* why;
    CpuIdRegisters leaf2;
    int32_t count;
    Cache l2;
  };
  // clang-format off
  const Case cases[] = {
      {"EBX", {0x665B5001, 0x80000000u, 0, 0x007A7000}, 12, {256, 64, 8}},
      {"EAX once its count byte is cleared", {0x80000001u, 0, 0, 0x007A7000},
       12, {256, 64, 8}},
      {"EDX holding 0x7A", {0x665B5001, 0, 0, 0x8000007Au}, 12, kNone},
      {"every register", {0x80000001u, 0x80000000u, 0x8000007Au, 0xFFFFFFFFu},
       0, kNone},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CpuIdInfo info = probeLeaf2({c.leaf2});
    EXPECT_EQ(c.count, descriptorCount);
    expectL2(c.l2, info);
  }
}

// Each descriptor in the lowest byte of its own register, so descriptors of
// 0x80 and above do not set bit 31.
CpuIdInfo probeDescriptors(const std::vector<unsigned char>& descriptors) {
  uint32_t regs[3] = {0, 0, 0};
  for (size_t i = 0; i < descriptors.size() && i < 3; ++i)
    regs[i] = descriptors[i];
  return probeLeaf2({{0x00000001, regs[0], regs[1], regs[2]}});
}

TEST(CpuIdCacheTest, DescriptorsNameTheFirstL2AndTheFirstL3) {
  struct Case {
    const char* why;
    std::vector<unsigned char> descriptors;
    Cache l2;
    Cache l3;
  };
  const Case cases[] = {
      {"0x49 after an L2 descriptor is the L3",
       {0x7D, 0x49},
       {2048, 64, 8},
       {4096, 64, 16}},
      {"0x49 alone is the L2", {0x49}, {4096, 64, 16}, kNone},
      {"0x49 before an L2 descriptor", {0x49, 0x7D}, {4096, 64, 16}, kNone},
      {"an L3 first, then 0x49", {0x4C, 0x49}, {4096, 64, 16}, {12288, 64, 12}},
      {"0x87, the last L2 row", {0x87}, {1024, 64, 8}, kNone},
      {"0x39, the first L2 row", {0x39}, {128, 64, 4}, kNone},
      {"0x4C alone", {0x4C}, kNone, {12288, 64, 12}},
      {"0x22, the first L3 row", {0x22}, kNone, {512, 64, 4}},
      {"0x4D, the last L3 row", {0x4D}, kNone, {16384, 64, 16}},
      {"only the first L2 counts", {0x7A, 0x7C}, {256, 64, 8}, kNone},
      {"only the first L3 counts", {0x23, 0x29, 0x25}, kNone, {1024, 64, 8}},
      {"rows above 0x80", {0x85, 0x82}, {2048, 32, 8}, kNone},
      {"32-byte lines with an L3", {0x41, 0x29}, {128, 32, 4}, {4096, 64, 8}},
      {"neighbours of the L2 rows", {0x38, 0x3F, 0x40}, kNone, kNone},
      {"neighbours of 0x49", {0x48, 0x4E, 0x88}, kNone, kNone},
      {"gaps in the tables", {0x7E, 0x80, 0x24}, kNone, kNone},
      {"descriptor 0xFF", {0xFF, 0x21, 0x2A}, kNone, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CpuIdInfo info = probeDescriptors(c.descriptors);
    expectL2(c.l2, info);
    expectL3(c.l3, info);
  }
}

TEST(CpuIdCacheTest, LaterPassesAddTheirBytesAfterTheFirst) {
  TableCpuIdSource source;
  CpuIdInfo info = probeLeaf2({{0x00000003, 0x22000000, 0, 0},
                               {0x7D000005, 0x80000000u, 0x49, 0},
                               {0x00000002, 0, 0, 0x46000000}},
                              &source);
  // The pass count comes from the first reading; the lowest byte of EAX is
  // cleared in every pass.
  std::vector<unsigned char> want = {0, 0, 0, 0,    0x22, 0, 0,    0, 0, 0,
                                     0, 0, 0, 0,    0,    0, 0x7D, 0, 0, 0,
                                     0, 0, 0, 0x49, 0,    0, 0,    0};
  const std::vector<unsigned char> third = {0, 0, 0, 0, 0,    0, 0, 0,
                                            0, 0, 0, 0, 0x46, 0, 0, 0};
  want.insert(want.end(), third.begin(), third.end());
  EXPECT_EQ(44, descriptorCount);
  EXPECT_EQ(want, collected(info));
  expectL2({2048, 64, 8}, info);
  expectL3({512, 64, 4}, info);
  EXPECT_EQ(4u, source.readCount(2));
}

TEST(CpuIdCacheTest, NoPassStartsAt240Bytes) {
  struct Case {
    const char* why;
    std::vector<CpuIdRegisters> leaf2;
    int32_t count;
    size_t leaf2Reads;
  };
  const CpuIdRegisters sixteen = {0x010203FF, 0x05060708, 0x090A0B0C,
                                  0x0D0E0F10};
  const CpuIdRegisters eight = {0x010203FF, 0x80000000u, 0x80000000u,
                                0x0D0E0F10};
  const CpuIdRegisters four = {0x010203FF, 0x80000000u, 0x80000000u,
                               0x80000000u};
  const Case cases[] = {
      {"16 bytes a pass", {sixteen}, 240, 16},
      {"8 bytes a pass", {eight}, 240, 31},
      {"4 bytes, then 16 a pass", {four, sixteen}, 244, 17},
      {"two passes", {{0x01020302, 0, 0, 0}}, 32, 3},
      {"no pass", {{0x665B5000, 0, 0, 0x007A7000}}, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    CpuIdInfo info = probeLeaf2(c.leaf2, &source);
    EXPECT_EQ(c.count, descriptorCount);
    EXPECT_EQ(c.leaf2Reads, source.readCount(2));
    for (int i = c.count; i < 256; ++i)
      ASSERT_EQ(0, info.cacheDescriptors[i]) << "index " << i;
  }
}

TEST(CpuIdCacheTest, ProbeWithoutLeaf2FindsNoStaleDescriptors) {
  probeLeaf2({{0x665B5001, 0, 0, 0x007A7000}});
  ASSERT_EQ(16, descriptorCount);

  TableCpuIdSource levelOne;
  levelOne.setVendor(1, "GenuineIntel");
  levelOne.set(1, {0x00000F29, 0, 0, 0});
  CpuIdInfo info;
  ASSERT_EQ(0, getCpuIdInfo(&info, levelOne));
  expectL2(kNone, info);
  EXPECT_EQ(0u, levelOne.readCount(2));
  for (unsigned char byte : info.cacheDescriptors)
    ASSERT_EQ(0, byte);

  probeLeaf2({{0x00000000, 0, 0, 0}});
  EXPECT_EQ(0, descriptorCount);
}

// A processor of the given signature with leaf 0x80000006 ECX `ecx`, the
// extended levels up to `maxExtLevel`, and `leaf2` as its descriptors.
CpuIdInfo probeExtended(uint32_t leaf1Eax, uint32_t maxExtLevel, uint32_t ecx,
                        const CpuIdRegisters& leaf2 = {0, 0, 0, 0},
                        TableCpuIdSource* sourceOut = nullptr) {
  TableCpuIdSource local;
  TableCpuIdSource& source = sourceOut ? *sourceOut : local;
  source.setVendor(2, "AuthenticAMD");
  source.set(1, {leaf1Eax, 0, 0, 0});
  source.set(2, leaf2);
  source.set(0x80000000u, {maxExtLevel, 0, 0, 0});
  source.set(0x80000006u, {0, 0x42004200, ecx, 0x0010A040});
  CpuIdInfo info;
  EXPECT_EQ(0, getCpuIdInfo(&info, source));
  return info;
}

TEST(CpuIdCacheTest, ExtendedLeafAssociativityCodes) {
  const int32_t ways[16] = {0,  1, 2,  3,  4,  5,  8,  7,
                            16, 9, 10, 11, 12, 13, 14, 255};
  for (uint32_t code = 0; code < 16; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    CpuIdInfo info =
        probeExtended(0x00020F12, 0x80000008u, 0x02000040u | code << 12);
    expectL2({512, 64, ways[code]}, info);
  }
}

TEST(CpuIdCacheTest, ExtendedLeafFillsOnlyAMissingL2) {
  struct Case {
    const char* why;
    uint32_t leaf1Eax;
    uint32_t maxExtLevel;
    uint32_t ecx;
    CpuIdRegisters leaf2;
    Cache l2;
    Cache l3;
    size_t extReads;
  };
  // clang-format off
  const Case cases[] = {
      {"no descriptors", 0x00020F12, 0x80000006u, 0x02006140, {}, {512, 64, 8},
       kNone, 1},
      {"extended level 0x80000005", 0x00020F12, 0x80000005u, 0x02006140, {},
       kNone, kNone, 0},
      {"descriptors named the L2", 0x00020F12, 0x80000008u, 0x02006140,
       {0x00000001, 0x7A, 0, 0}, {256, 64, 8}, kNone, 1},
      {"descriptors named only an L3", 0x00020F12, 0x80000008u, 0x02006140,
       {0x00000001, 0x4C, 0, 0}, {512, 64, 8}, {12288, 64, 12}, 1},
      {"a leaf reporting no L2", 0x00020F12, 0x80000008u, 0, {}, {0, 0, 0},
       kNone, 1},
      {"signature 0x630 reporting 1 KB", 0x00000630, 0x80000006u, 0x00018140,
       {}, {64, 64, 16}, kNone, 1},
      {"signature 0x630 with high bits of EAX set", 0xF0000630u, 0x80000006u,
       0x00018140, {}, {64, 64, 16}, kNone, 1},
      {"signature 0x630 with an L2 descriptor", 0x00000630, 0x80000006u,
       0x00018140, {0x00000001, 0x7A, 0, 0}, {256, 64, 8}, kNone, 1},
      {"signature 0x631", 0x00000631, 0x80000006u, 0x00018140, {},
       {1, 64, 16}, kNone, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TableCpuIdSource source;
    CpuIdInfo info =
        probeExtended(c.leaf1Eax, c.maxExtLevel, c.ecx, c.leaf2, &source);
    expectL2(c.l2, info);
    expectL3(c.l3, info);
    EXPECT_EQ(c.extReads, source.readCount(0x80000006u));
  }
}

TEST(CpuIdCacheTest, LevelOneProcessorTakesL2FromTheExtendedLeaf) {
  TableCpuIdSource source;
  source.setVendor(1, "AuthenticAMD");
  source.set(1, {0x00020F12, 0, 0, 0});
  source.set(2, {0x00000001, 0x7A, 0, 0});
  source.set(0x80000000u, {0x80000018u, 0, 0, 0});
  source.set(0x80000006u, {0, 0, 0x04008140, 0});
  CpuIdInfo info;
  ASSERT_EQ(0, getCpuIdInfo(&info, source));
  EXPECT_EQ(0u, source.readCount(2));
  expectL2({1024, 64, 16}, info);
}

} // namespace
