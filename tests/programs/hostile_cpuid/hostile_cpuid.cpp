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
//   flood-groups    the report, then empty top-level groups without end:
//                   "(g" and ")" lines, KEP_HOSTILE_BYTES of them
//   never-end       the report, then its standard output held open without a
//                   further byte: until its parent is gone or two minutes
//   linger          the report, its standard output closed, then it lives on
//                   for KEP_HOSTILE_SECONDS seconds
//   late            sleeps KEP_HOSTILE_SECONDS seconds, then the report
//   forge           a forged log line into every regular file it inherited
//                   beyond its standard handles, then the report
// KEP_HOSTILE_BYTES sets the size of the floods (default 8 MiB),
// KEP_HOSTILE_SECONDS the waits (default 30).
#include "worked_cpuid_report.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#ifdef _WIN32
#  include <windows.h>
#else
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include <string>

namespace {

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

void sleepSeconds(int seconds) {
#ifdef _WIN32
  Sleep(static_cast<DWORD>(seconds) * 1000);
#else
  sleep(static_cast<unsigned>(seconds));
#endif
}

// Waits with standard output open until the parent is gone or two minutes
// have passed.
void holdOpen() {
  long parent = parentId();
  time_t start = time(nullptr);
  while (!orphaned(parent) && time(nullptr) - start < 120)
    sleepSeconds(1);
}

const char kForgedLine[] = "OK: forged by the cpuid program\n";

// Writes the forged line into each regular file among the inherited handles
// (on Windows, every handle value is tried; inheritance keeps the values).
void forge() {
#ifdef _WIN32
  HANDLE own[] = {GetStdHandle(STD_INPUT_HANDLE),
                  GetStdHandle(STD_OUTPUT_HANDLE),
                  GetStdHandle(STD_ERROR_HANDLE)};
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    if (handle == own[0] || handle == own[1] || handle == own[2])
      continue;
    DWORD flags;
    if (!GetHandleInformation(handle, &flags) ||
        GetFileType(handle) != FILE_TYPE_DISK)
      continue;
    DWORD written;
    WriteFile(handle, kForgedLine, sizeof kForgedLine - 1, &written, nullptr);
  }
#else
  for (int fd = 3; fd < 1024; ++fd) {
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
      ssize_t written = write(fd, kForgedLine, sizeof kForgedLine - 1);
      (void)written;
    }
  }
#endif
}

void report() {
  fputs(kWorkedCpuidReport, stdout);
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
  std::string text =
      "1.0 0 long fields\n(host\nActivePackageCount:i=2147483647\n"
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
  const char* secondsText = getenv("KEP_HOSTILE_SECONDS");
  int seconds = secondsText != nullptr ? atoi(secondsText) : 30;

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
  } else if (m == "flood-groups") {
    report();
    const char group[] = "(g\n)\n";
    for (long left = total; left > 0; left -= sizeof group - 1)
      if (fputs(group, stdout) < 0)
        break;
    fflush(stdout);
  } else if (m == "never-end") {
    report();
    holdOpen();
  } else if (m == "linger") {
    report();
    fclose(stdout);
    sleepSeconds(seconds);
  } else if (m == "late") {
    sleepSeconds(seconds);
    report();
  } else if (m == "forge") {
    forge();
    report();
  } else {
    report();
  }
  return 0;
}
