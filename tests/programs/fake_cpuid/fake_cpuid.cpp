// fake_cpuid.cpp: a stand-in for the cpuid program in the record builder's
// tests. The tests copy it beside a chosen "own path" as cpuid (cpuid.exe)
// and steer it through its environment:
//   FAKE_CPUID_DOCUMENT  a file whose bytes it writes to standard output as
//                        its report (nothing when unset or unreadable)
//   FAKE_CPUID_MODE      how it behaves:
//     (unset), document  writes the document and ends with 0
//     exit               ends at once with 3, writing nothing
//     flood              writes 8 MiB without a line feed to standard output
//     stderr             writes 8 MiB to standard error, then the document
//     stdin              reads standard input to its end, then the document
//   FAKE_CPUID_LIMIT     seconds after which it ends itself with 99 (default
//                        20), so that a caller that would wait for ever shows
//                        up as a slow test rather than a hung one
#include "common/platform/standard_streams.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

#ifdef _WIN32
#  include <windows.h>
#else
#  include <chrono>
#  include <thread>
#endif

namespace {

const size_t kFloodBytes = 8 * 1024 * 1024;

int deadlineSeconds = 20;

[[noreturn]] void endAtDeadline() {
#ifdef _WIN32
  Sleep(static_cast<DWORD>(deadlineSeconds) * 1000);
#else
  std::this_thread::sleep_for(std::chrono::seconds(deadlineSeconds));
#endif
  fflush(nullptr);
  _Exit(99);
}

#ifdef _WIN32
DWORD WINAPI deadlineThread(void*) {
  endAtDeadline();
}
#endif

// A thread of the system's own: the release's win32 threading model has no
// std::thread.
void startDeadline() {
  const char* limit = getenv("FAKE_CPUID_LIMIT");
  if (limit)
    deadlineSeconds = atoi(limit);
#ifdef _WIN32
  HANDLE thread = CreateThread(nullptr, 0, deadlineThread, nullptr, 0, nullptr);
  if (thread)
    CloseHandle(thread);
#else
  std::thread(endAtDeadline).detach();
#endif
}

void writeDocument() {
  const char* path = getenv("FAKE_CPUID_DOCUMENT");
  if (!path)
    return;
  FILE* in = fopen(path, "rb");
  if (!in)
    return;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
    if (fwrite(chunk, 1, n, stdout) != n)
      break;
  fclose(in);
  fflush(stdout);
}

// Writes `total` bytes of 'x' to `out`; stops early when a write fails (the
// reader has gone).
void flood(FILE* out, size_t total) {
  std::string chunk(4096, 'x');
  for (size_t written = 0; written < total; written += chunk.size())
    if (fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size() ||
        fflush(out) != 0)
      return;
}

} // namespace

int main() {
  setBinaryStdio(kStandardInput | kStandardOutput | kStandardError);
  startDeadline();
  const char* env = getenv("FAKE_CPUID_MODE");
  std::string mode = env ? env : "document";
  if (mode == "exit")
    return 3;
  if (mode == "flood") {
    flood(stdout, kFloodBytes);
    return 0;
  }
  if (mode == "stderr")
    flood(stderr, kFloodBytes);
  if (mode == "stdin") {
    char chunk[4096];
    while (fread(chunk, 1, sizeof chunk, stdin) > 0) {
    }
  }
  writeDocument();
  return 0;
}
