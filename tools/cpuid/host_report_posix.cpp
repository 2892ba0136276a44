// host_report_posix.cpp: POSIX half of the cpuid program's measurements: the
// clock from cpufreq or /proc/cpuinfo. The topology is the scanner's
// (cpu_topology.h).
#include "host_report.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

namespace {

bool readFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream text;
  text << in.rdbuf();
  *content = text.str();
  return !in.bad();
}

bool readNumber(const std::string& path, long* value) {
  std::string text;
  if (!readFile(path, &text))
    return false;
  char* end;
  *value = strtol(text.c_str(), &end, 10);
  return end != text.c_str();
}

// cpufreq gives kHz: base_frequency (the rated clock, where the driver knows
// it), else cpuinfo_max_freq.
int clockFromCpufreq() {
  const char* const files[] = {
      "/sys/devices/system/cpu/cpu0/cpufreq/base_frequency",
      "/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"};
  for (const char* file : files) {
    long kHz;
    if (readNumber(file, &kHz) && kHz > 0)
      return static_cast<int>((kHz + 500) / 1000);
  }
  return 0;
}

// /proc/cpuinfo: "cpu MHz : 2596.146" of the first processor. Without a
// cpufreq driver (virtual machines) this is the clock the kernel measured at
// boot.
int clockFromCpuinfo() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 7, "cpu MHz") != 0)
      continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos)
      return 0;
    double mhz = strtod(line.c_str() + colon + 1, nullptr);
    return mhz > 0 ? static_cast<int>(lround(mhz)) : 0;
  }
  return 0;
}

} // namespace

int readHostClockMHz() {
  int mhz = clockFromCpufreq();
  return mhz > 0 ? mhz : clockFromCpuinfo();
}
