// cpuid_replay_fuzzer.cpp: the replay-file reader of cpuprobe on arbitrary
// text, and the CPUID probe on whatever readings it took: any register values
// at all, as a strange or broken processor could give them. The host's counts
// must stay in their range; the probe must fill the record within its
// bounds, and give the same record twice; the cache list cpuprobe shows must
// stay within what its fields can hold.
#include "fuzz_support.h"
#include "invscan/scanners/cpuid_details.h"
#include "invscan/scanners/cpuid_replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text as a block of its own, so that a read past its end is seen.
  char* text = static_cast<char*>(malloc(size == 0 ? 1 : size));
  memcpy(text, data, size);
  ReplayCpuIdSource source;
  std::string err;
  bool parsed = parseCpuIdReplay(text, size, &source, &err);
  free(text);
  if (!parsed)
    FUZZ_CHECK(err.compare(0, 5, "line ") == 0, err);
  FUZZ_CHECK(source.processorCount() >= 0 && source.processorCount() <= 1000000,
             std::to_string(source.processorCount()));
  FUZZ_CHECK(source.packageCount() >= 0 && source.packageCount() <= 1000000,
             std::to_string(source.packageCount()));

  CpuIdInfo first;
  memset(&first, 0x5A, sizeof first);
  int result = getCpuIdInfo(&first, source);
  int32_t firstCount = descriptorCount;
  FUZZ_CHECK(result == 0 || result == 1, std::to_string(result));
  FUZZ_CHECK(memchr(first.vendor, 0, sizeof first.vendor) != nullptr,
             "vendor not terminated");
  FUZZ_CHECK(memchr(first.brandString, 0, sizeof first.brandString) != nullptr,
             "brand string not terminated");
  if (result == 1) {
    FUZZ_CHECK(first.htLogicalProcessors == 1 && first.numOfCores == 1 &&
                   first.htLogicalPerCore == 0 && first.family == -1,
               "record of a processor without CPUID");
    return 0;
  }
  FUZZ_CHECK(firstCount >= 0 && firstCount <= 255,
             "descriptorCount " + std::to_string(firstCount));
  FUZZ_CHECK(first.numOfCores >= 1, std::to_string(first.numOfCores));
  FUZZ_CHECK(first.htLogicalPerCore ==
                 first.htLogicalProcessors / first.numOfCores,
             std::to_string(first.htLogicalPerCore));

  CpuIdInfo second;
  memset(&second, 0xA5, sizeof second);
  FUZZ_CHECK(getCpuIdInfo(&second, source) == result, "second probe");
  FUZZ_CHECK(descriptorCount == firstCount, "descriptorCount changed");
  FUZZ_CHECK(memcmp(&first, &second, sizeof first) == 0,
             "two probes of one processor differ");

  CacheList caches = listCaches(second, source);
  FUZZ_CHECK(caches.levels.size() <= 32,
             std::to_string(caches.levels.size()) + " caches");
  FUZZ_CHECK(caches.levels.empty() == (caches.source[0] == '\0'),
             std::string("source ") + caches.source);
  for (const CacheLevel& c : caches.levels) {
    FUZZ_CHECK(c.level >= 0 && c.level <= 7, std::to_string(c.level));
    FUZZ_CHECK(c.sizeBytes > 0, "a cache of no bytes");
    FUZZ_CHECK(c.ways >= 0 && c.ways <= 1024, std::to_string(c.ways));
    FUZZ_CHECK(c.lineSize >= 0 && c.lineSize <= 4096,
               std::to_string(c.lineSize));
    FUZZ_CHECK(c.sharedBy >= 0 && c.sharedBy <= 4096,
               std::to_string(c.sharedBy));
  }
  return 0;
}
