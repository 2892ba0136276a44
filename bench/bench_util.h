// bench_util.h: what the benchmark programs share: a monotonic clock, the
// interleaving of a measured piece of work with its floor, medians, and the
// figure lines that scripts/bench collects.
#ifndef ENABLER_BENCH_BENCH_UTIL_H
#define ENABLER_BENCH_BENCH_UTIL_H

#include <functional>
#include <string>
#include <vector>

/// Seconds on a monotonic clock.
double benchNow();

/// Seconds of processor time this process has used, user and system.
double benchCpuNow();

/// The middle value (the mean of the two middle ones for an even count); 0
/// for none.
double benchMedian(std::vector<double> samples);

/// Runs `measured` and `floor` `reps` times each, alternating which goes
/// first, so that a drift of the machine's load touches both alike. Each
/// function gives the seconds of its own run. The medians come back in
/// `*measuredMedian` and `*floorMedian`.
void benchInterleave(int reps, const std::function<double()>& measured,
                     const std::function<double()>& floor,
                     double* measuredMedian, double* floorMedian);

/// How a figure is judged against its target.
enum class BenchTarget {
  kAtMost,  ///< ratio <= target
  kExactly, ///< ratio == target (counts)
  kReport,  ///< no target: reported only
};

/// One figure line on standard output:
///   figure NAME: MEASURED UNIT vs FLOOR UNIT = RATIOx (target <= T) ok|MISSED
/// scripts/bench collects the lines that begin with "figure ".
void benchFigure(const std::string& name, double measured, double floor,
                 const std::string& unit, BenchTarget kind, double target);

/// A line of context for a person ("  note: ..."), not a figure.
void benchNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// The value of "--NAME VALUE" in argv, or `dflt`.
std::string benchArg(int argc, char** argv, const char* name,
                     const std::string& dflt);
long benchArgLong(int argc, char** argv, const char* name, long dflt);

#endif
