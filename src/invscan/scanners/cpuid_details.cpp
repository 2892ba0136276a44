// cpuid_details.cpp: the display signature and the cache list. The caches are
// read from the deterministic cache leaves where the processor has them, since
// those describe every level with its sharing; the legacy leaves describe
// fewer levels and code their associativity in tables.
#include "invscan/scanners/cpuid_details.h"

#include <string.h>

namespace {

const uint32_t kIntelCacheLeaf = 4;
const uint32_t kAmdL1Leaf = 0x80000005u;
const uint32_t kAmdL2L3Leaf = 0x80000006u;
const uint32_t kAmdCacheLeaf = 0x8000001Du;
const uint32_t kTopologyExtensionsBit = 1u << 22;
// Real processors list four to six caches; the cap keeps a replay file that
// repeats one sub-leaf endlessly from listing without end.
const uint32_t kMaxCacheSubLeaves = 32;
const uint32_t kFullyAssociativeCode = 0xF;

uint32_t bits(uint32_t value, int high, int low) {
  return (value >> low) & ((1u << (high - low + 1)) - 1u);
}

// A cache whose ways, line size and sharing are not reported yet.
CacheLevel cacheOf(int32_t level, CacheType type, uint64_t sizeBytes) {
  return {level, type, sizeBytes, 0, false, 0, 0};
}

bool followsAmd(const CpuIdInfo& info) {
  return info.AMD.isAMD || strcmp(info.vendor, "HygonGenuine") == 0;
}

// ways * partitions * line size * sets, which leaves 4 and 0x8000001D give
// each minus one; a product beyond 64 bits (only a made-up reading) stops at
// the largest value.
uint64_t deterministicSize(const CpuIdRegisters& regs) {
  uint64_t perSet = (uint64_t{bits(regs.ebx, 31, 22)} + 1) *
                    (uint64_t{bits(regs.ebx, 21, 12)} + 1) *
                    (uint64_t{bits(regs.ebx, 11, 0)} + 1);
  uint64_t sets = uint64_t{regs.ecx} + 1;
  if (sets > UINT64_MAX / perSet)
    return UINT64_MAX;
  return perSet * sets;
}

// Leaves 4 and 0x8000001D share their layout: EAX bits 4:0 the type (0 ends
// the list), 7:5 the level, bit 9 fully associative, 25:14 the logical
// processors sharing the cache, minus one (on Intel processors the APIC IDs
// reserved for them); EBX and ECX the geometry.
std::vector<CacheLevel> deterministicCaches(CpuIdSource& source,
                                            uint32_t leaf) {
  std::vector<CacheLevel> levels;
  for (uint32_t subLeaf = 0; subLeaf < kMaxCacheSubLeaves; ++subLeaf) {
    CpuIdRegisters regs = source.readSubLeaf(leaf, subLeaf);
    uint32_t type = bits(regs.eax, 4, 0);
    if (type == 0)
      break;
    if (type > 3)
      continue; // reserved: a kind of cache this list does not know
    CacheLevel cache;
    cache.level = static_cast<int32_t>(bits(regs.eax, 7, 5));
    cache.type = type == 1   ? CacheType::kData
                 : type == 2 ? CacheType::kInstruction
                             : CacheType::kUnified;
    cache.sizeBytes = deterministicSize(regs);
    cache.ways = static_cast<int32_t>(bits(regs.ebx, 31, 22)) + 1;
    cache.fullyAssociative = bits(regs.eax, 9, 9) != 0;
    cache.lineSize = static_cast<int32_t>(bits(regs.ebx, 11, 0)) + 1;
    cache.sharedBy = static_cast<int32_t>(bits(regs.eax, 25, 14)) + 1;
    levels.push_back(cache);
  }
  return levels;
}

// Leaf 0x80000005 ECX (data) and EDX (instruction): size in KB in bits 31:24,
// the ways in 23:16 themselves (0xFF fully associative), line size in 7:0.
void addAmdL1(std::vector<CacheLevel>* levels, uint32_t reg, CacheType type) {
  uint32_t sizeKb = bits(reg, 31, 24);
  if (sizeKb == 0)
    return;
  uint32_t ways = bits(reg, 23, 16);
  CacheLevel cache = cacheOf(1, type, uint64_t{sizeKb} * 1024);
  cache.fullyAssociative = ways == 0xFF;
  cache.ways = cache.fullyAssociative ? 0 : static_cast<int32_t>(ways);
  cache.lineSize = static_cast<int32_t>(bits(reg, 7, 0));
  levels->push_back(cache);
}

// Leaf 0x80000006: the L2 in ECX (size in KB in bits 31:16), the L3 in EDX
// (size in 512 KB units in bits 31:18); both code their ways in bits 15:12,
// where 0 means there is no such cache, and give the line size in 7:0.
void addAmdL2L3(std::vector<CacheLevel>* levels, int32_t level, uint64_t sizeKb,
                uint32_t reg) {
  uint32_t code = bits(reg, 15, 12);
  if (code == 0 || sizeKb == 0)
    return;
  CacheLevel cache = cacheOf(level, CacheType::kUnified, sizeKb * 1024);
  cache.ways = amdAssociativityWays(code);
  cache.fullyAssociative = code == kFullyAssociativeCode;
  cache.lineSize = static_cast<int32_t>(bits(reg, 7, 0));
  levels->push_back(cache);
}

std::vector<CacheLevel> amdLegacyCaches(const CpuIdInfo& info,
                                        CpuIdSource& source) {
  std::vector<CacheLevel> levels;
  if (info.maxCpuidExtLevel >= kAmdL1Leaf) {
    CpuIdRegisters regs = source.read(kAmdL1Leaf);
    addAmdL1(&levels, regs.ecx, CacheType::kData);
    addAmdL1(&levels, regs.edx, CacheType::kInstruction);
  }
  if (info.maxCpuidExtLevel >= kAmdL2L3Leaf) {
    CpuIdRegisters regs = source.read(kAmdL2L3Leaf);
    uint64_t l2Kb = bits(regs.ecx, 31, 16);
    // The Duron of signature 0x630 reports 1 KB for its 64 KB L2, as the
    // probe's record knows too.
    if (info.cpuSignature == 0x630u)
      l2Kb = 64;
    addAmdL2L3(&levels, 2, l2Kb, regs.ecx);
    addAmdL2L3(&levels, 3, uint64_t{bits(regs.edx, 31, 18)} * 512, regs.edx);
  }
  return levels;
}

// The record's L2 and L3 figures; its L2 associativity from leaf 0x80000006
// is 255 for the fully associative code.
std::vector<CacheLevel> recordCaches(const CpuIdInfo& info) {
  std::vector<CacheLevel> levels;
  struct Figures {
    int32_t level, size, line, ways;
  };
  const Figures figures[] = {
      {2, info.L2CacheSize, info.L2CacheLineSize, info.L2CacheAssociativity},
      {3, info.L3CacheSize, info.L3CacheLineSize, info.L3CacheAssociativity}};
  for (const Figures& f : figures) {
    if (f.size <= 0)
      continue;
    CacheLevel cache = cacheOf(f.level, CacheType::kUnified,
                               static_cast<uint64_t>(f.size) * 1024);
    cache.fullyAssociative = f.ways == 255;
    cache.ways = cache.fullyAssociative || f.ways < 0 ? 0 : f.ways;
    cache.lineSize = f.line > 0 ? f.line : 0;
    levels.push_back(cache);
  }
  return levels;
}

} // namespace

DisplaySignature displaySignature(const CpuIdInfo& info) {
  uint32_t signature = info.cpuSignature;
  uint32_t baseFamily = bits(signature, 11, 8);
  DisplaySignature out;
  out.family = static_cast<int32_t>(baseFamily);
  if (baseFamily == 0xF)
    out.family += static_cast<int32_t>(bits(signature, 27, 20));
  out.model = static_cast<int32_t>(bits(signature, 7, 4));
  bool extendedModel = followsAmd(info)
                           ? baseFamily == 0xF
                           : (baseFamily == 0x6 || baseFamily == 0xF);
  if (extendedModel)
    out.model += static_cast<int32_t>(bits(signature, 19, 16)) << 4;
  out.stepping = static_cast<int32_t>(bits(signature, 3, 0));
  return out;
}

const char* cacheTypeName(CacheType type) {
  switch (type) {
  case CacheType::kData:
    return "data";
  case CacheType::kInstruction:
    return "instruction";
  case CacheType::kUnified:
    break;
  }
  return "unified";
}

int32_t amdAssociativityWays(uint32_t code) {
  // The table of AMD's manual; 7 is reserved and 9 refers to 0x8000001D.
  static const int32_t kWays[16] = {0,  1, 2,  3,  4,  6,  8,   0,
                                    16, 0, 32, 48, 64, 96, 128, 0};
  return kWays[code & 0xF];
}

CacheList listCaches(const CpuIdInfo& info, CpuIdSource& source) {
  CacheList list{"", {}};
  bool amd = followsAmd(info);
  // ext1Ecx holds leaf 0x80000001, which a processor reaching 0x8000001D has.
  if (amd && info.maxCpuidExtLevel >= kAmdCacheLeaf &&
      (info.ext1Ecx & kTopologyExtensionsBit) != 0) {
    list = {"leaf 0x8000001D", deterministicCaches(source, kAmdCacheLeaf)};
  } else if (!amd && info.maxCpuidLevel >= kIntelCacheLeaf) {
    list = {"leaf 4", deterministicCaches(source, kIntelCacheLeaf), true};
  }
  if (!list.levels.empty())
    return list;
  if (amd)
    list = {"leaves 0x80000005 and 0x80000006", amdLegacyCaches(info, source)};
  else
    list = {"leaf 2 and leaf 0x80000006", recordCaches(info)};
  if (list.levels.empty())
    list.source = "";
  return list;
}
