// bench_util.cpp: clock, medians, interleaving and figure lines of the
// benchmark programs.
#include "bench_util.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <chrono>

double benchNow() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double benchCpuNow() {
  struct timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double benchMedian(std::vector<double> samples) {
  if (samples.empty())
    return 0;
  std::sort(samples.begin(), samples.end());
  size_t middle = samples.size() / 2;
  if (samples.size() % 2)
    return samples[middle];
  return (samples[middle - 1] + samples[middle]) / 2;
}

void benchInterleave(int reps, const std::function<double()>& measured,
                     const std::function<double()>& floor,
                     double* measuredMedian, double* floorMedian) {
  std::vector<double> a, b;
  for (int rep = 0; rep < reps; ++rep) {
    if (rep % 2 == 0) {
      a.push_back(measured());
      b.push_back(floor());
    } else {
      b.push_back(floor());
      a.push_back(measured());
    }
  }
  *measuredMedian = benchMedian(a);
  *floorMedian = benchMedian(b);
}

void benchFigure(const std::string& name, double measured, double floor,
                 const std::string& unit, BenchTarget kind, double target) {
  double ratio = floor > 0 ? measured / floor : NAN;
  printf("figure %s: %.4g %s vs %.4g %s = %.2fx", name.c_str(), measured,
         unit.c_str(), floor, unit.c_str(), ratio);
  switch (kind) {
  case BenchTarget::kAtMost:
    printf(" (target <= %.2fx) %s\n", target,
           ratio <= target ? "ok" : "MISSED");
    break;
  case BenchTarget::kExactly:
    printf(" (target = %.2fx) %s\n", target,
           fabs(ratio - target) < 1e-9 ? "ok" : "MISSED");
    break;
  case BenchTarget::kReport:
    printf(" (reported)\n");
    break;
  }
  fflush(stdout);
}

void benchNote(const char* format, ...) {
  printf("  note: ");
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  printf("\n");
  fflush(stdout);
}

std::string benchArg(int argc, char** argv, const char* name,
                     const std::string& dflt) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (strncmp(argv[i], "--", 2) == 0 && strcmp(argv[i] + 2, name) == 0)
      return argv[i + 1];
  }
  return dflt;
}

long benchArgLong(int argc, char** argv, const char* name, long dflt) {
  std::string text = benchArg(argc, argv, name, "");
  return text.empty() ? dflt : strtol(text.c_str(), nullptr, 10);
}
