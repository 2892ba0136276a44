// probe_bench: how many CPUID instructions one getCpuIdInfo executes, against
// the leaves its algorithm needs, and what the probe costs on this processor
// against executing those leaves alone.
//
//   probe_bench [--reps 15] [--batch 200] [REPLAY_FILE...]
//
// The count goes through the probe's seam: a counting source wraps the
// instruction (and each replay file's recorded processor). The leaves needed
// are worked out here from the registers themselves, step by step as the
// probe's algorithm reads them: leaf 0, 1, leaf 2 once and once more after
// each pass its AL asks for, 0x80000000, the brand leaves, 0x80000006,
// 0x80000001, then leaf 4 (Intel) or 0x80000007 and 0x80000008 (AMD).
#include "bench_util.h"
#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_replay.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace {

using LeafCounts = std::map<uint32_t, int>;

class CountingCpuIdSource : public CpuIdSource {
public:
  explicit CountingCpuIdSource(CpuIdSource& inner) : inner_(inner) {}
  bool hasCpuId() override { return inner_.hasCpuId(); }
  CpuIdRegisters read(uint32_t leaf) override {
    ++counts[leaf];
    order.push_back(leaf);
    return inner_.read(leaf);
  }
  LeafCounts counts;
  std::vector<uint32_t> order;

private:
  CpuIdSource& inner_;
};

// Descriptor bytes a register holding them adds (none with bit 31 set).
int descriptorBytes(uint32_t reg) {
  return (reg & 0x80000000u) ? 0 : 4;
}

LeafCounts neededLeaves(CpuIdSource& source) {
  LeafCounts need;
  if (!source.hasCpuId())
    return need;
  CpuIdRegisters r0 = source.read(0);
  need[0] = 1;
  char vendor[13];
  memcpy(vendor, &r0.ebx, 4);
  memcpy(vendor + 4, &r0.edx, 4);
  memcpy(vendor + 8, &r0.ecx, 4);
  vendor[12] = 0;
  bool intel = strcmp(vendor, "GenuineIntel") == 0;
  bool amd = strcmp(vendor, "AuthenticAMD") == 0;
  uint32_t maxLevel = r0.eax;
  if (maxLevel >= 1) {
    source.read(1);
    need[1] = 1;
  }
  if (maxLevel >= 2) {
    CpuIdRegisters r2 = source.read(2);
    need[2] = 1;
    int collected = 0;
    for (uint32_t passes = r2.eax & 0xFFu; passes > 0 && collected < 240;
         --passes) {
      collected += descriptorBytes(r2.eax) + descriptorBytes(r2.ebx) +
                   descriptorBytes(r2.ecx) + descriptorBytes(r2.edx);
      r2 = source.read(2);
      ++need[2];
    }
  }
  uint32_t extLevel = source.read(0x80000000u).eax;
  need[0x80000000u] = 1;
  if (extLevel >= 0x80000004u)
    need[0x80000002u] = need[0x80000003u] = need[0x80000004u] = 1;
  if (extLevel >= 0x80000006u)
    need[0x80000006u] = 1;
  if (extLevel >= 0x80000001u)
    need[0x80000001u] = 1;
  if (intel && maxLevel >= 4) {
    need[4] = 1;
  } else if (amd && extLevel >= 0x80000001u) {
    if (extLevel >= 0x80000007u)
      need[0x80000007u] = 1;
    if (extLevel >= 0x80000008u)
      need[0x80000008u] = 1;
  }
  return need;
}

int total(const LeafCounts& counts) {
  int sum = 0;
  for (const auto& entry : counts)
    sum += entry.second;
  return sum;
}

std::string describe(const LeafCounts& counts) {
  std::string text;
  char item[32];
  for (const auto& entry : counts) {
    snprintf(item, sizeof item, "%s%x", text.empty() ? "" : " ", entry.first);
    text += item;
    if (entry.second != 1) {
      snprintf(item, sizeof item, "x%d", entry.second);
      text += item;
    }
  }
  return text;
}

// Executed against needed for one processor; an unneeded or repeated leaf
// shows in the leaf lists as well as in the ratio.
void countFigure(const std::string& name, CpuIdSource& source) {
  LeafCounts need = neededLeaves(source);
  CountingCpuIdSource counting(source);
  CpuIdInfo info;
  getCpuIdInfo(&info, counting);
  benchNote("%s: executed %s", name.c_str(), describe(counting.counts).c_str());
  if (counting.counts != need)
    benchNote("%s: needed   %s", name.c_str(), describe(need).c_str());
  benchFigure("probe.cpuid_count." + name, total(counting.counts), total(need),
              "CPUID", BenchTarget::kExactly, 1.0);
}

void timeFigure(int reps, int batch) {
  CpuIdSource& processor = processorCpuIdSource();
  CountingCpuIdSource counting(processor);
  CpuIdInfo info;
  getCpuIdInfo(&info, counting);
  std::vector<uint32_t> leaves = counting.order;
  volatile uint32_t sink = 0;
  double probeSeconds, floorSeconds;
  benchInterleave(
      reps,
      [&] {
        double start = benchNow();
        for (int i = 0; i < batch; ++i) {
          getCpuIdInfo(&info);
          sink = sink + uint32_t(info.numOfCores);
        }
        return (benchNow() - start) / batch;
      },
      [&] {
        double start = benchNow();
        for (int i = 0; i < batch; ++i) {
          if (processor.hasCpuId()) {
            for (uint32_t leaf : leaves)
              sink = sink + processor.read(leaf).eax;
          }
        }
        return (benchNow() - start) / batch;
      },
      &probeSeconds, &floorSeconds);
  benchNote("probe: %.2f us per getCpuIdInfo, %.2f us per CPUID on this "
            "processor (%zu leaves)",
            probeSeconds * 1e6, floorSeconds * 1e6 / double(leaves.size()),
            leaves.size());
  benchFigure("probe.time", probeSeconds * 1e6, floorSeconds * 1e6, "us",
              BenchTarget::kAtMost, 1.2);
}

} // namespace

int main(int argc, char** argv) {
  int reps = int(benchArgLong(argc, argv, "reps", 15));
  int batch = int(benchArgLong(argc, argv, "batch", 200));
  countFigure("this_processor", processorCpuIdSource());
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--", 2) == 0) {
      ++i;
      continue;
    }
    ReplayCpuIdSource replay;
    std::string err;
    if (!loadCpuIdReplay(argv[i], &replay, &err)) {
      fprintf(stderr, "probe_bench: %s\n", err.c_str());
      return 2;
    }
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    countFigure(name, replay);
  }
  timeFigure(reps, batch);
  return 0;
}
