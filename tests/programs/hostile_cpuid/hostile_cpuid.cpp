// hostile_cpuid.cpp: a cpuid program that misbehaves. The enabler starts its
// cpuid program without arguments, so the behaviour comes from the environment
// variable KEP_HOSTILE_CPUID, which the enabler passes on:
//   report          a well-formed report (2 packages, 4 cores, 2 per core)
//   long-line       megabytes on standard output without a line feed
//   deep            a status line, then 10,000 nested groups
//   stderr-first    megabytes on standard error, then the report
//   stderr-after    the report, then megabytes on standard error
//   stderr-forever  the report, its standard output closed, then standard
//                   error without end: until a write there fails, its
//                   parent is gone, or (a bound for the tests) two minutes
//   read-stdin      reads standard input to its end, then the report
//   exit            ends at once without writing anything
//   crash           aborts at once
//   long-fields     the report with 1000-byte texts and extreme numbers
// KEP_HOSTILE_BYTES sets the size of the floods (default 8 MiB).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#ifndef _WIN32
#  include <unistd.h>
#endif

#include <string>

namespace {

const char kReport[] = "1.0 0 hostile cpuid\n"
                       "(host\n"
                       "ActivePackageCount:i=2\n"
                       "(Processor\n"
                       "Manufacturer:s=GenuineIntel\n"
                       "Family:s=6\n"
                       "Type:s=0\n"
                       "ActiveCoreCount:i=4\n"
                       "ActiveProcCount:i=8\n"
                       "CpuClockMHz:i=2400\n"
                       "(Features\n"
                       "IEM64T:i=1\n"
                       "LM:i=1\n"
                       ")\n"
                       "(CPUID\n"
                       "CorePerPackageCount:i=4\n"
                       "HtPerCoreCount:i=2\n"
                       ")\n"
                       ")\n"
                       ")\n";

// Writes `total` bytes of `fill` to `stream`; stops early when the reader
// has gone away.
void flood(FILE* stream, long total, char fill) {
  static char block[65536];
  memset(block, fill, sizeof block);
  while (total > 0) {
    size_t n = total < static_cast<long>(sizeof block)
                   ? static_cast<size_t>(total)
                   : sizeof block;
    if (fwrite(block, 1, n, stream) != n)
      return;
    total -= static_cast<long>(n);
  }
  fflush(stream);
}

// Whether the program that started this one has ended.
bool orphaned(long parent) {
#ifdef _WIN32
  (void)parent;
  return false;
#else
  return static_cast<long>(getppid()) != parent;
#endif
}

long parentId() {
#ifdef _WIN32
  return 0;
#else
  return static_cast<long>(getppid());
#endif
}

void stderrForever() {
  long parent = parentId();
  time_t start = time(nullptr);
  static char block[4096];
  memset(block, 'e', sizeof block);
  while (!orphaned(parent) && time(nullptr) - start < 120) {
    if (fwrite(block, 1, sizeof block, stderr) != sizeof block ||
        fflush(stderr) != 0)
      return;
  }
}

void report() {
  fputs(kReport, stdout);
  fflush(stdout);
}

void deep() {
  std::string text = "1.0 0 deep\n";
  for (int i = 0; i < 10000; ++i)
    text += "(g\nv:i=1\n";
  for (int i = 0; i < 10000; ++i)
    text += ")\n";
  fputs(text.c_str(), stdout);
  fflush(stdout);
}

void longFields() {
  std::string big(1000, 'M');
  std::string text = "1.0 0 long fields\n(host\nActivePackageCount:i=2147483647\n"
                     "(Processor\nManufacturer:s=" +
                     big + "\nFamily:s=" + std::string(1000, 'F') +
                     "\nType:s=" + std::string(1000, 'T') +
                     "\nActiveCoreCount:i=-2147483648\n"
                     "ActiveProcCount:i=2147483647\n"
                     "CpuClockMHz:i=-1\n)\n)\n";
  fputs(text.c_str(), stdout);
  fflush(stdout);
}

} // namespace

int main() {
  const char* mode = getenv("KEP_HOSTILE_CPUID");
  const char* bytes = getenv("KEP_HOSTILE_BYTES");
  long total = bytes != nullptr ? atol(bytes) : 8L << 20;
  std::string m = mode != nullptr ? mode : "report";

  if (m == "long-line") {
    fputs("1.0 0 ", stdout);
    flood(stdout, total, 'x');
  } else if (m == "deep") {
    deep();
  } else if (m == "stderr-first") {
    flood(stderr, total, 'e');
    report();
  } else if (m == "stderr-after") {
    report();
    flood(stderr, total, 'e');
  } else if (m == "stderr-forever") {
    report();
    fclose(stdout);
    stderrForever();
  } else if (m == "read-stdin") {
    char buffer[4096];
    while (fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    report();
  } else if (m == "exit") {
    return 0;
  } else if (m == "crash") {
    abort();
  } else if (m == "long-fields") {
    longFields();
  } else {
    report();
  }
  return 0;
}
