#include "invscan/scanners/cpuid_replay.h"

#include "common/platform/system_error.h"
#include "invscan/scanners/cpuid_fake_source_test.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

bool parse(const std::string& text, ReplayCpuIdSource* out,
           std::string* err = nullptr) {
  return parseCpuIdReplay(text.data(), text.size(), out, err);
}

void expectRegs(const CpuIdRegisters& want, const CpuIdRegisters& got) {
  EXPECT_EQ(want.eax, got.eax);
  EXPECT_EQ(want.ebx, got.ebx);
  EXPECT_EQ(want.ecx, got.ecx);
  EXPECT_EQ(want.edx, got.edx);
}

const CpuIdRegisters kLeaf0 = {0x0000000D, 0x756E6547, 0x6C65746E, 0x49656E69};

TEST(CpuIdReplayTest, AcceptedLineForms) {
  struct Case {
    const char* why;
    const char* text;
  };
  const Case cases[] = {
      {"plain", "00000000: 0000000D-756E6547-6C65746E-49656E69\n"},
      {"CPUID prefix", "CPUID 00000000: 0000000D-756E6547-6C65746E-49656E69\n"},
      {"sub-leaf 0", "00000000: 0000000D-756E6547-6C65746E-49656E69 [SL 00]\n"},
      {"lower-case digits", "00000000: 0000000d-756e6547-6c65746e-49656e69\n"},
      {"CR LF and no final line end",
       "# header\r\n\r\n00000000: 0000000D-756E6547-6C65746E-49656E69\r\n"
       "00000000: 00000001-00000000-00000000-00000000 [SL 01]"},
      {"blanks around", "\t CPUID  00000000:   0000000D-756E6547-6C65746E-"
                        "49656E69  [ SL 0 ]  \n"},
      {"other sub-leaves kept apart, comments ignored",
       "#00000000: 00000001-00000000-00000000-00000000\n"
       "00000000: 00000002-00000000-00000000-00000000 [SL 0A]\n"
       "   # indented comment\n"
       "00000000: 0000000D-756E6547-6C65746E-49656E69\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ReplayCpuIdSource source;
    std::string err;
    ASSERT_TRUE(parse(c.text, &source, &err)) << err;
    EXPECT_TRUE(source.hasCpuId());
    expectRegs(kLeaf0, source.read(0));
    expectRegs(kLeaf0, source.read(0));
  }
}

TEST(CpuIdReplayTest, ReadingsComeInOrderAndTheLastRepeats) {
  ReplayCpuIdSource source;
  ASSERT_TRUE(parse("00000002: 00000003-00000001-00000002-00000003\n"
                    "80000000: 80000008-00000000-00000000-00000000\n"
                    "00000002: 00000000-00000004-00000005-00000006\n"
                    "00000002: 00000000-00000007-00000008-00000009\n",
                    &source));
  expectRegs({3, 1, 2, 3}, source.read(2));
  expectRegs({0, 4, 5, 6}, source.read(2));
  expectRegs({0x80000008u, 0, 0, 0}, source.read(0x80000000u));
  expectRegs({0, 7, 8, 9}, source.read(2));
  expectRegs({0, 7, 8, 9}, source.read(2));
  expectRegs({0, 0, 0, 0}, source.read(4));
  source.rewind();
  expectRegs({3, 1, 2, 3}, source.read(2));
}

TEST(CpuIdReplayTest, SubLeavesAreKeptApartAndRecordedWithTheirNumber) {
  ReplayCpuIdSource source;
  ASSERT_TRUE(parse("00000004: 1C004122-00C0003F-0000007F-00000000 [SL 01]\n"
                    "00000004: 1C004121-01C0003F-0000003F-00000000\n"
                    "00000004: 00000000-00000000-0000000A-00000000 [SL 0a]\n"
                    "8000001D: 00004121-01C0003F-0000003F-00000000 [SL 00]\n",
                    &source));
  // The probe's read(4) is sub-leaf 0, whatever other sub-leaves surround it.
  expectRegs({0x1C004121, 0x01C0003F, 0x3F, 0}, source.read(4));
  expectRegs({0x1C004121, 0x01C0003F, 0x3F, 0}, source.readSubLeaf(4, 0));
  expectRegs({0x1C004122, 0x00C0003F, 0x7F, 0}, source.readSubLeaf(4, 1));
  expectRegs({0, 0, 0x0A, 0}, source.readSubLeaf(4, 10));
  expectRegs({0, 0, 0, 0}, source.readSubLeaf(4, 2));
  expectRegs({0x4121, 0x01C0003F, 0x3F, 0}, source.read(0x8000001Du));
  expectRegs({0, 0, 0, 0}, source.readSubLeaf(0x8000001Du, 1));

  // A recording keeps each sub-leaf's number and replays to the same
  // readings; sub-leaf 0 keeps the plain form.
  RecordingCpuIdSource recorder(source);
  recorder.read(4);
  recorder.readSubLeaf(4, 1);
  recorder.readSubLeaf(4, 0x1F);
  EXPECT_EQ("00000004: 1C004121-01C0003F-0000003F-00000000\n"
            "00000004: 1C004122-00C0003F-0000007F-00000000 [SL 01]\n"
            "00000004: 00000000-00000000-00000000-00000000 [SL 1F]\n",
            recorder.replayText());
  ReplayCpuIdSource replay;
  ASSERT_TRUE(parse(recorder.replayText(), &replay));
  expectRegs({0x1C004122, 0x00C0003F, 0x7F, 0}, replay.readSubLeaf(4, 1));

  // A source that knows sub-leaf 0 alone answers the others with zeros. It
  // keeps CpuIdSource's own readSubLeaf, which TableCpuIdSource replaces.
  struct LeafOnly : CpuIdSource {
    bool hasCpuId() override { return true; }
    CpuIdRegisters read(uint32_t leaf) override { return {leaf, 2, 3, 4}; }
  } plain;
  expectRegs({4, 2, 3, 4}, plain.readSubLeaf(4, 0));
  expectRegs({0, 0, 0, 0}, plain.readSubLeaf(4, 1));
}

TEST(CpuIdReplayTest, EveryProbeSeesTheSameProcessor) {
  ReplayCpuIdSource source;
  ASSERT_TRUE(parse("00000000: 00000002-756E6547-6C65746E-49656E69\n"
                    "00000002: 00000002-0000007D-00000000-00000000\n"
                    "00000002: 00000000-00000049-00000000-00000000\n",
                    &source));
  CpuIdInfo first;
  ASSERT_EQ(0, getCpuIdInfo(&first, source));
  EXPECT_EQ(32, descriptorCount);
  EXPECT_EQ(4096, first.L3CacheSize);
  CpuIdInfo second;
  ASSERT_EQ(0, getCpuIdInfo(&second, source));
  EXPECT_EQ(0, memcmp(&first, &second, sizeof(first)));
  EXPECT_EQ(32, descriptorCount);
}

TEST(CpuIdReplayTest, NoCpuIdLineRemovesTheInstruction) {
  ReplayCpuIdSource source;
  ASSERT_TRUE(parse("# a 486\nno-cpuid\r\n", &source));
  EXPECT_FALSE(source.hasCpuId());
  CpuIdInfo info;
  EXPECT_EQ(1, getCpuIdInfo(&info, source));
  EXPECT_EQ(1, info.numOfCores);
  EXPECT_EQ(0, info.htLogicalPerCore);
}

TEST(CpuIdReplayTest, EmptyTextIsAProcessorOfZeros) {
  ReplayCpuIdSource source;
  ASSERT_TRUE(parse("", &source));
  CpuIdInfo info;
  EXPECT_EQ(0, getCpuIdInfo(&info, source));
  EXPECT_STREQ("", info.vendor);
  EXPECT_EQ(0u, info.maxCpuidLevel);
}

TEST(CpuIdReplayTest, HostCountLines) {
  struct Case {
    const char* why;
    const char* text;
    int processors, packages;
  };
  const Case cases[] = {
      {"none: not known", "00000000: 0000000D-756E6547-6C65746E-49656E69\n", 0,
       0},
      {"both", "processors 16\npackages 2\n", 16, 2},
      {"blanks and CR LF", "  processors\t 8  \r\npackages  1\r\n", 8, 1},
      {"a host whose system could not tell", "processors 4\npackages 0\n", 4,
       0},
      {"the last line counts", "packages 1\npackages 4\nprocessors 1000000\n",
       1000000, 4},
      {"beside no-cpuid", "no-cpuid\nprocessors 2\npackages 1\n", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ReplayCpuIdSource source;
    std::string err;
    ASSERT_TRUE(parse(c.text, &source, &err)) << err;
    EXPECT_EQ(c.processors, source.processorCount());
    EXPECT_EQ(c.packages, source.packageCount());
  }
}

TEST(CpuIdReplayTest, MalformedLinesAreRefusedWithTheirNumber) {
  struct Case {
    const char* why;
    std::string text;
    const char* err;
  };
  const Case cases[] = {
      {"seven-digit leaf", "0000000: 0000000D-756E6547-6C65746E-49656E69",
       "line 1: expected an 8-digit leaf and ':'"},
      {"nine-digit leaf", "000000000: 0000000D-756E6547-6C65746E-49656E69",
       "line 1: expected an 8-digit leaf and ':'"},
      {"no colon", "00000000 0000000D-756E6547-6C65746E-49656E69",
       "line 1: expected an 8-digit leaf and ':'"},
      {"three registers", "# ok\n00000000: 0000000D-756E6547-6C65746E\n",
       "line 2: expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers"},
      {"short register", "00000000: 0000000D-756E6547-6C65746E-49656E6",
       "line 1: expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers"},
      {"long register", "00000000: 0000000D-756E6547-6C65746E-49656E690",
       "line 1: expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers"},
      {"not hexadecimal", "00000000: 0000000D-756E6547-6C65746E-49656G69",
       "line 1: expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers"},
      {"blanks between registers",
       "00000000: 0000000D - 756E6547-6C65746E-49656E69",
       "line 1: expected EAX-EBX-ECX-EDX as 8-digit hexadecimal numbers"},
      {"unclosed sub-leaf",
       "\n\n00000004: 00000000-00000000-00000000-00000000 [SL 01",
       "line 3: expected a sub-leaf as [SL nn]"},
      {"unknown bracket text",
       "00000004: 00000000-00000000-00000000-00000000 [core 1]",
       "line 1: expected a sub-leaf as [SL nn]"},
      {"text behind the registers",
       "00000004: 00000000-00000000-00000000-00000000 eax",
       "line 1: unexpected text after the registers"},
      {"text behind no-cpuid", "no-cpuid please",
       "line 1: unexpected text after no-cpuid"},
      {"a zero byte",
       std::string("00000000: 0000000D-756E6547-6C65746E-"
                   "49656E69\0",
                   46),
       "line 1: unexpected text after the registers"},
      {"a word", "GenuineIntel", "line 1: expected an 8-digit leaf and ':'"},
      {"processors without a count", "processors\n",
       "line 1: expected a count of 1 to 1000000 after processors"},
      {"no blank before the count", "processors8\n",
       "line 1: expected a count of 1 to 1000000 after processors"},
      {"no processors", "processors 0\n",
       "line 1: expected a count of 1 to 1000000 after processors"},
      {"too many processors", "processors 1000001\n",
       "line 1: expected a count of 1 to 1000000 after processors"},
      {"a negative package count", "packages -1\n",
       "line 1: expected a count of 0 to 1000000 after packages"},
      {"a hexadecimal package count", "# host\npackages 0x2\n",
       "line 2: expected a count of 0 to 1000000 after packages"},
      {"text behind the count", "packages 2 sockets\n",
       "line 1: expected a count of 0 to 1000000 after packages"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ReplayCpuIdSource source;
    std::string err;
    EXPECT_FALSE(parse(c.text, &source, &err));
    EXPECT_EQ(c.err, err);
  }
}

TEST(CpuIdReplayTest, AnyPrefixOrMutationIsReadSafely) {
  const std::string text =
      "# sample\r\nCPUID 00000000: 00000002-756E6547-6C65746E-49656E69 [SL 00]"
      "\n00000002: 665B5001-00000000-00000000-007B7040\nno-cpuid\n";
  for (size_t length = 0; length <= text.size(); ++length) {
    ReplayCpuIdSource source;
    std::string err;
    parseCpuIdReplay(text.data(), length, &source, &err);
    CpuIdInfo info;
    getCpuIdInfo(&info, source);
  }
  // Deterministic byte mutations of the sample.
  uint32_t state = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string mutated = text;
    for (int i = 0; i < 3; ++i) {
      state = state * 1103515245u + 12345u;
      size_t at = (state >> 8) % mutated.size();
      mutated[at] = static_cast<char>(state >> 24);
    }
    ReplayCpuIdSource source;
    parseCpuIdReplay(mutated.data(), mutated.size(), &source, nullptr);
    CpuIdInfo info;
    int result = getCpuIdInfo(&info, source);
    EXPECT_TRUE(result == 0 || result == 1);
    EXPECT_LE(descriptorCount, 256);
  }
}

TEST(CpuIdReplayTest, UnreadableFileNamesThePath) {
  TempDir dir;
  ReplayCpuIdSource source;
  std::string err;
  EXPECT_FALSE(loadCpuIdReplay("missing.txt", &source, &err));
  long missing = noSuchFileErrorCode();
  EXPECT_EQ("cannot read missing.txt: " + systemErrorText(missing) +
                " (error " + std::to_string(missing) + ")",
            err);
  EXPECT_FALSE(loadCpuIdReplay(".", &source, &err));
  EXPECT_EQ(0u, err.find("cannot read .: ")) << err;

  ASSERT_TRUE(writeTestFile("bad.txt", "00000000: 1-2-3-4\n"));
  EXPECT_FALSE(loadCpuIdReplay("bad.txt", &source, &err));
  EXPECT_EQ("bad.txt: line 1: expected EAX-EBX-ECX-EDX as 8-digit "
            "hexadecimal numbers",
            err);
}

TEST(CpuIdReplayTest, RecordingReplaysToTheSameRecord) {
  TableCpuIdSource processor;
  processor.setVendor(4, "GenuineIntel");
  processor.set(1, {0x000006F6, 0x00020800, 0x0000E3BD, 0xBFEBFBFF});
  processor.setSequence(2, {{0x00000002, 0x7D, 0, 0},
                            {0x00000001, 0x49, 0, 0},
                            {0x00000000, 0x22, 0, 0}});
  processor.set(4, {0x04000121, 0x01C0003F, 0x3F, 1});
  processor.set(0x80000000u, {0x80000008u, 0, 0, 0});
  processor.setBrand("Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz");
  processor.set(0x80000006u, {0, 0, 0x10008040, 0});

  RecordingCpuIdSource recorder(processor);
  CpuIdInfo recorded;
  ASSERT_EQ(0, getCpuIdInfo(&recorded, recorder));
  std::string text = recorder.replayText();
  EXPECT_EQ(0u, text.find("00000000: 00000004-756E6547-6C65746E-49656E69\n"
                          "00000001: 000006F6-00020800-0000E3BD-BFEBFBFF\n"
                          "00000002: 00000002-0000007D-00000000-00000000\n"
                          "00000002: 00000001-00000049-00000000-00000000\n"
                          "00000002: 00000000-00000022-00000000-00000000\n"
                          "80000000: 80000008-00000000-00000000-00000000\n"))
      << text;

  ReplayCpuIdSource replay;
  std::string err;
  ASSERT_TRUE(parse(formatCpuIdReplayCounts(12, 3) + text, &replay, &err))
      << err;
  CpuIdInfo replayed;
  ASSERT_EQ(0, getCpuIdInfo(&replayed, replay));
  EXPECT_EQ(0, memcmp(&recorded, &replayed, sizeof(recorded)));
  EXPECT_EQ(32, descriptorCount);
  EXPECT_EQ(12, replay.processorCount());
  EXPECT_EQ(3, replay.packageCount());
  EXPECT_EQ("processors 1\npackages 0\n", formatCpuIdReplayCounts(1, 0));

  TableCpuIdSource old;
  old.cpuId = false;
  RecordingCpuIdSource oldRecorder(old);
  getCpuIdInfo(&recorded, oldRecorder);
  EXPECT_EQ("no-cpuid\n", oldRecorder.replayText());
}

// The recorded processors below tests/fixtures/cpuid, the figures the probe's
// rules give for their registers, and what cpuprobe shows beside them: the
// family, model and stepping as the vendors number them, and the caches.
TEST(CpuIdFixtureTest, RecordedProcessorsGiveTheirFigures) {
  struct Case {
    const char* file;
    const char* vendor;
    const char* brand;
    int32_t family;
    int32_t model;
    int32_t stepping;
    int32_t descriptors;
    int32_t l2Size, l2Line, l2Ways;
    int32_t l3Size;
    int32_t amdNumOfCores;
    int32_t numCoresPerChip, numLogicalPerChip, numLogicalPerCore;
    int32_t htLogicalProcessors, numOfCores, htLogicalPerCore;
    DisplaySignature display;
    const char* caches;
  };
  // clang-format off
  const Case cases[] = {
      {"intel_core2_duo_e6600.txt", "GenuineIntel",
       "Intel(R) Core(TM)2 CPU          6600  @ 2.40GHz", 6, 15, 6, 16, 4096,
       64, 16, -1, 0, 2, 2, 1, 2, 2, 1, {6, 15, 6},
       "L1d 32K 8w 64B x1, L1i 32K 8w 64B x1, L2 4096K 16w 64B x2"},
      {"intel_pentium4_ht_northwood.txt", "GenuineIntel",
       "Intel(R) Pentium(R) 4 CPU 3.00GHz", 15, 2, 9, 16, 512, 64, 8, -1, 0,
       1, 2, 2, 2, 1, 2, {15, 2, 9}, "L2 512K 8w 64B"},
      {"amd_opteron_275_family15.txt", "AuthenticAMD",
       "Dual Core AMD Opteron(tm) Processor 275", 15, 33, 2, 0, 1024, 64, 16,
       -1, 2, 2, 2, 1, 2, 2, 1, {15, 33, 2},
       "L1d 64K 2w 64B, L1i 64K 2w 64B, L2 1024K 16w 64B"},
      {"amd_opteron_2356_family10h.txt", "AuthenticAMD",
       "Quad-Core AMD Opteron(tm) Processor 2356", 16, 2, 3, 0, 512, 64, 16,
       -1, 4, 1, 1, 1, 4, 4, 1, {16, 2, 3},
       "L1d 64K 2w 64B, L1i 64K 2w 64B, L2 512K 16w 64B, L3 2048K 32w 64B"},
      {"amd_duron_spitfire_630.txt", "AuthenticAMD", "AMD Duron(tm) Processor",
       6, 3, 0, 0, 64, 64, 16, -1, 0, 1, 1, 1, 1, 1, 1, {6, 3, 0},
       "L1d 64K 2w 64B, L1i 64K 2w 64B, L2 64K 16w 64B"},
      {"amd_epyc_vm_recorded.txt", "AuthenticAMD", "AMD EPYC", 25, 17, 1, 0,
       1024, 64, 8, -1, 2, 1, 1, 1, 2, 2, 1, {25, 17, 1},
       // Leaf 0x8000001D was not recorded: 0x80000006, whose L3 code says
       // "see 0x8000001D".
       "L2 1024K 8w 64B, L3 327680K ?w 64B"},
      {"amd_epyc_vm_cache_leaves.txt", "AuthenticAMD", "AMD EPYC", 25, 1, 1, 0,
       512, 64, 8, -1, 2, 1, 1, 1, 2, 2, 1, {25, 1, 1},
       "L1d 32K 8w 64B x1, L1i 32K 8w 64B x1, L2 512K 8w 64B x1, "
       "L3 32768K 16w 64B x2"},
      {"intel_xeon_nehalem_ep_106a2.txt", "GenuineIntel",
       "Genuine Intel(R) CPU           @ 0000 @ 2.67GHz", 6, 10, 2, 16, 256, 64,
       8, -1, 0, 8, 16, 2, 16, 8, 2, {6, 26, 2},
       "L1d 32K 8w 64B x2, L1i 32K 4w 64B x2, L2 256K 8w 64B x2, "
       "L3 8192K 16w 64B x16"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ReplayCpuIdSource source;
    std::string err;
    ASSERT_TRUE(loadCpuIdReplay(fixturePath(std::string("cpuid/") + c.file),
                                &source, &err))
        << err;
    // The count outlives a probe that does not read leaf 2; start as a fresh
    // process does.
    descriptorCount = 0;
    CpuIdInfo info;
    ASSERT_EQ(0, getCpuIdInfo(&info, source));
    EXPECT_STREQ(c.vendor, info.vendor);
    EXPECT_STREQ(c.brand, info.brandString);
    EXPECT_EQ(c.family, info.family);
    EXPECT_EQ(c.model, info.model);
    EXPECT_EQ(c.stepping, info.stepping);
    EXPECT_EQ(c.descriptors, descriptorCount);
    EXPECT_EQ(c.l2Size, info.L2CacheSize);
    EXPECT_EQ(c.l2Line, info.L2CacheLineSize);
    EXPECT_EQ(c.l2Ways, info.L2CacheAssociativity);
    EXPECT_EQ(c.l3Size, info.L3CacheSize);
    EXPECT_EQ(c.amdNumOfCores, info.AMD.numOfCores);
    EXPECT_EQ(c.numCoresPerChip, info.numCoresPerChip);
    EXPECT_EQ(c.numLogicalPerChip, info.numLogicalPerChip);
    EXPECT_EQ(c.numLogicalPerCore, info.numLogicalPerCore);
    EXPECT_EQ(c.htLogicalProcessors, info.htLogicalProcessors);
    EXPECT_EQ(c.numOfCores, info.numOfCores);
    EXPECT_EQ(c.htLogicalPerCore, info.htLogicalPerCore);
    DisplaySignature display = displaySignature(info);
    EXPECT_EQ(c.display.family, display.family);
    EXPECT_EQ(c.display.model, display.model);
    EXPECT_EQ(c.display.stepping, display.stepping);
    EXPECT_EQ(c.caches, describeCaches(listCaches(info, source)));
  }
}

// The package count of hosts built from recorded processors: the system's
// count where it knows one, the division by the probe's figure where not.
TEST(CpuIdFixtureTest, PackageCountsOfRecordedHosts) {
  struct Case {
    const char* file;
    int processors, systemPackages;
    int byDivision, packages;
    const char* why;
  };
  const Case cases[] = {
      {"intel_xeon_nehalem_ep_106a2.txt", 8, 1, 0, 1,
       "one socket of 4 cores, 8 threads"},
      {"intel_xeon_nehalem_ep_106a2.txt", 16, 2, 1, 2,
       "two sockets of 4 cores, 8 threads"},
      {"intel_xeon_nehalem_ep_106a2.txt", 16, 0, 1, 1,
       "two sockets, topology not known: the division"},
      {"intel_xeon_nehalem_ep_106a2.txt", 8, 0, 0, 0,
       "one socket, topology not known: the division's 0"},
      {"amd_opteron_2356_family10h.txt", 8, 2, 2, 2,
       "two quad-core AMD sockets, as the division counts them"},
      {"amd_opteron_2356_family10h.txt", 8, 0, 2, 2,
       "two quad-core AMD sockets, topology not known"},
      {"intel_core2_duo_e6600.txt", 2, 1, 1, 1,
       "a dual core of 2006, as the division counts it"},
      {"intel_pentium4_ht_northwood.txt", 4, 2, 2, 2,
       "two Hyper-Threading Pentium 4 packages"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ": " + c.why);
    ReplayCpuIdSource source;
    std::string err;
    ASSERT_TRUE(loadCpuIdReplay(fixturePath(std::string("cpuid/") + c.file),
                                &source, &err))
        << err;
    CpuIdInfo info;
    ASSERT_EQ(0, getCpuIdInfo(&info, source));
    EXPECT_EQ(c.byDivision,
              packagesByDivision(c.processors, info.htLogicalProcessors));
    EXPECT_EQ(c.packages, choosePhysicalPackages(c.systemPackages, c.processors,
                                                 info.htLogicalProcessors));
  }
}

} // namespace
