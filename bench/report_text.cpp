// report_text.cpp: the documents of the reader's benchmarks.
#include "report_text.h"

#include <stdarg.h>
#include <stdio.h>

#include <algorithm>

namespace {

void add(std::string* out, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void add(std::string* out, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  int length = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out->append(line, std::min<size_t>(size_t(length), sizeof line - 1));
  out->push_back('\n');
}

std::string hexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex.push_back(kDigits[c >> 4]);
    hex.push_back(kDigits[c & 15]);
  }
  return hex;
}

const char* const kBrands[] = {
    "Intel(R) Xeon(R) CPU E5-2680 v2 @ 2.80GHz",
    "AMD Opteron(tm) Processor 2356",
    "Intel(R) Core(TM)2 Duo CPU     E6600  @ 2.40GHz",
    "AMD EPYC 7B13 64-Core Processor",
};

// One processor: about 40 lines, 1 KiB.
void addProcessor(std::string* out, unsigned n) {
  const char* brand = kBrands[n % 4];
  bool intel = brand[0] == 'I';
  add(out, "(Processor");
  add(out, "Manufacturer:s=%s", intel ? "GenuineIntel" : "AuthenticAMD");
  add(out, "Family:s=%u", intel ? 6u : 15u + n % 11);
  add(out, "Type:s=0");
  add(out, "Model:i=%u", n % 256);
  add(out, "Stepping:i=%u", n % 16);
  add(out, "ActiveCoreCount:i=%u", 1u << (n % 6));
  add(out, "ActiveProcCount:i=%u", 2u << (n % 6));
  add(out, "CpuClockMHz:i=%u", 1800 + n % 1400);
  add(out, "CpuClockActual:f=%u.%03u", 1800 + n % 1400, n % 1000);
  add(out, "BrandString:s=%s", brand);
  std::string wide = std::string(brand) + " \xc2\xae";
  add(out, "BrandWide:u=%zu,%s", wide.size(), hexOf(wide).c_str());
  add(out, "; leaf 2 descriptors as the processor reported them");
  add(out, "Descriptors:d=16,665b5001000000000000000000%06x", n & 0xffffff);
  add(out, "(Features");
  add(out, "IEM64T:i=1");
  add(out, "LM:i=1");
  add(out, "SSE2:i=1");
  add(out, "SSE3:i=%u", n % 2);
  add(out, "HTT:i=%u", (n / 2) % 2);
  add(out, "Flags:d=8,%08x%08x", n * 2654435761u, n ^ 0x178bfbffu);
  add(out, ")");
  add(out, "(CPUID");
  add(out, "CorePerPackageCount:i=%u", 1u << (n % 6));
  add(out, "HtPerCoreCount:i=%u", 1 + (n / 2) % 2);
  add(out, "MaxLevel:i=%u", 10 + n % 8);
  add(out, "MaxExtLevel:i=%d", int(0x80000008u - 0x100000000ll));
  add(out, "Signature:d=4,%08x", 0x000206d7u + n % 64);
  add(out, ")");
  add(out, "(Cache");
  add(out, "L2Size:i=%u", 256u << (n % 4));
  add(out, "L2Line:i=64");
  add(out, "L2Ways:i=%u", 4u << (n % 3));
  add(out, "L3Size:i=%u", 2048u << (n % 5));
  add(out, "L3Ways:f=%u.0", 8u + n % 9);
  add(out, "Inclusive:s=%s", n % 3 ? "yes" : "no");
  add(out, ")");
  add(out, ")");
}

} // namespace

std::string makeReportText(size_t bytes) {
  std::string out;
  out.reserve(bytes + 4096);
  add(&out, "; cpuid report");
  add(&out, "1.0 0 benchmark report");
  add(&out, "(cpuid");
  add(&out, "ActivePackageCount:i=2");
  add(&out, "HostName:s=bench-host.example");
  for (unsigned n = 0; out.size() + 4 < bytes; ++n)
    addProcessor(&out, n);
  add(&out, ")");
  return out;
}

std::string makeWideGroupText(size_t values, size_t perGroup) {
  std::string out;
  out.reserve(values * 24 + 64);
  add(&out, "1.0 0 wide groups");
  add(&out, "(top");
  for (size_t done = 0; done < values;) {
    add(&out, "(group");
    for (size_t i = 0; i < perGroup && done < values; ++i, ++done)
      add(&out, "Value%zu:i=%zu", i, done);
    add(&out, ")");
  }
  add(&out, ")");
  return out;
}

size_t countLines(const std::string& text) {
  return size_t(std::count(text.begin(), text.end(), '\n'));
}
