// isolated.h: a measurement run in a child process made by fork, so that
// each one starts from the heap of the program as it stood before any was
// made, as an enabler starts from a new process.
#ifndef ENABLER_BENCH_ISOLATED_H
#define ENABLER_BENCH_ISOLATED_H

#include <functional>
#include <vector>

/// Runs `work` in a forked child and gives back the numbers it gave. The
/// child ends with _exit; a child that fails ends the benchmark.
std::vector<double>
runIsolated(const std::function<std::vector<double>()>& work);

#endif
