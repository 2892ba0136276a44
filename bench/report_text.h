// report_text.h: variable-tree documents for the reader's benchmarks. The
// report is shaped like the cpuid program's, many processors long: groups
// nested three deep, values of all five kinds, comment lines.
#ifndef ENABLER_BENCH_REPORT_TEXT_H
#define ENABLER_BENCH_REPORT_TEXT_H

#include <stddef.h>

#include <string>

/// A report of at least `bytes` bytes (a little more: it ends with a whole
/// processor group and the closing line). The same size gives the same text.
std::string makeReportText(size_t bytes);

/// `values` i values in groups of `perGroup` each, below one top-level group:
/// the shape that shows what the duplicate-name check of each new value
/// costs as a group grows.
std::string makeWideGroupText(size_t values, size_t perGroup);

/// Line feeds in `text`.
size_t countLines(const std::string& text);

#endif
