// host_report.h: the cpuid program's measurements of this host and the report
// it prints from them in the variable-tree text form.
#ifndef ENABLER_TOOLS_CPUID_HOST_REPORT_H
#define ENABLER_TOOLS_CPUID_HOST_REPORT_H

#include "invscan/scanners/cpu_topology.h"
#include "invscan/scanners/cpuid.h"

#include <string>

/// What the processor says about itself through CPUID.
struct ProcessorFacts {
  std::string vendor;      ///< the 12-byte vendor string, e.g. "GenuineIntel"
  int family = 0;          ///< family, extended family added when it is 15
  int type = 0;            ///< processor type (0 for an original OEM part)
  bool longMode = false;   ///< runs 64-bit code (Intel 64 / AMD64)
  int coresPerPackage = 0; ///< as the processor's topology leaves tell
  int threadsPerCore = 0;
  int baseClockMHz = 0; ///< from the frequency leaf; 0 when not given
};

/// Reads the facts from `source`: the instruction (processorCpuIdSource()),
/// or recorded readings in tests. False when CPUID is not available.
bool readProcessorFacts(CpuIdSource& source, ProcessorFacts* facts);

/// The clock rate in MHz that the operating system knows for the processor;
/// 0 when it knows none.
int readHostClockMHz();

/// The whole report: status line, then one top-level group. A null
/// `topology` (unreadable, see readCpuTopology) gives a status of 1 and
/// leaves out the counts.
std::string formatHostReport(const ProcessorFacts* facts,
                             const CpuTopology* topology, int clockMHz);

#endif
