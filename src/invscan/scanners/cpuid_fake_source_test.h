// cpuid_fake_source_test.h: a processor made up by a test. Register readings
// come from a table set up by the test, and every leaf the probe executes is
// logged, so a test can see which leaves were read and in what order.
#ifndef ENABLER_SCANNERS_CPUID_FAKE_SOURCE_TEST_H
#define ENABLER_SCANNERS_CPUID_FAKE_SOURCE_TEST_H

#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_details.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

class TableCpuIdSource : public CpuIdSource {
public:
  bool hasCpuId() override { return cpuId; }
  CpuIdRegisters read(uint32_t leaf) override {
    reads.push_back(leaf);
    auto found = leaves.find(leaf);
    if (found == leaves.end() || found->second.empty())
      return {0, 0, 0, 0};
    size_t index = std::count(reads.begin(), reads.end(), leaf) - 1;
    return found->second[std::min(index, found->second.size() - 1)];
  }
  CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf) override {
    if (subLeaf == 0)
      return read(leaf);
    auto found = subLeaves.find({leaf, subLeaf});
    return found == subLeaves.end() ? CpuIdRegisters{0, 0, 0, 0}
                                    : found->second;
  }

  /// Leaf 0 with the highest basic leaf and the vendor text (12 characters).
  void setVendor(uint32_t maxLevel, const char* vendor) {
    set(0, {maxLevel, word(vendor), word(vendor + 8), word(vendor + 4)});
  }
  /// Leaves 0x80000002 to 0x80000004 holding `brand`, zero-padded.
  void setBrand(const std::string& brand) {
    char bytes[48] = {};
    memcpy(bytes, brand.data(), std::min<size_t>(brand.size(), 48));
    for (uint32_t i = 0; i < 3; ++i) {
      const char* p = bytes + 16 * i;
      set(0x80000002u + i, {word(p), word(p + 4), word(p + 8), word(p + 12)});
    }
  }
  /// A GenuineIntel family 6 part with basic leaves up to 1 and no extended
  /// ones: one core per package, and `logical` logical processors per package
  /// with HTT flagged.
  void setIntelPackage(uint32_t logical) {
    setVendor(1, "GenuineIntel");
    set(1, {0x000006F6, logical << 16, 0, 1u << 28});
  }
  void set(uint32_t leaf, const CpuIdRegisters& regs) { leaves[leaf] = {regs}; }
  /// Readings by leaf and sub-leaf; sub-leaf 0 is what read(leaf) gives.
  using Readings = std::map<std::pair<uint32_t, uint32_t>, CpuIdRegisters>;
  void setReadings(const Readings& readings) {
    for (const auto& [key, regs] : readings) {
      if (key.second == 0)
        set(key.first, regs);
      else
        subLeaves[key] = regs;
    }
  }
  /// Successive readings of one leaf; the last one repeats.
  void setSequence(uint32_t leaf, const std::vector<CpuIdRegisters>& regs) {
    leaves[leaf] = regs;
  }
  size_t readCount(uint32_t leaf) const {
    return std::count(reads.begin(), reads.end(), leaf);
  }

  bool cpuId = true;
  std::map<uint32_t, std::vector<CpuIdRegisters>> leaves;
  std::vector<uint32_t> reads;
  /// Readings of sub-leaves other than 0, which readSubLeaf alone asks for.
  std::map<std::pair<uint32_t, uint32_t>, CpuIdRegisters> subLeaves;

private:
  static uint32_t word(const char* p) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 24;
  }
};

/// A cache list in a short form a test can state: "L1d 32K 8w 64B x2" for
/// each cache, comma-separated; "full" for a fully associative cache, "?w"
/// and "?B" for ways and line size not reported, no "x" where the sharing is
/// not reported, the size in bytes where it is no whole number of KB.
inline std::string describeCaches(const CacheList& list) {
  std::string text;
  for (const CacheLevel& c : list.levels) {
    if (!text.empty())
      text += ", ";
    text += "L" + std::to_string(c.level);
    if (c.type == CacheType::kData)
      text += "d";
    else if (c.type == CacheType::kInstruction)
      text += "i";
    text += " " + (c.sizeBytes % 1024 == 0
                       ? std::to_string(c.sizeBytes / 1024) + "K"
                       : std::to_string(c.sizeBytes) + "B");
    text += c.fullyAssociative ? std::string(" full")
            : c.ways > 0       ? " " + std::to_string(c.ways) + "w"
                               : std::string(" ?w");
    text += c.lineSize > 0 ? " " + std::to_string(c.lineSize) + "B" : " ?B";
    if (c.sharedBy > 0)
      text += " x" + std::to_string(c.sharedBy);
  }
  return text;
}

#endif
