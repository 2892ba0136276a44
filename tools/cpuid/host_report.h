// host_report.h: the cpuid program's measurements of this host and the report
// it prints from them in the variable-tree text form.
#ifndef ENABLER_TOOLS_CPUID_HOST_REPORT_H
#define ENABLER_TOOLS_CPUID_HOST_REPORT_H

#include "common/platform/cpuid_instruction.h"
#include "invscan/scanners/cpu_topology.h"

#include <stdint.h>

#include <string>

/// One CPUID reading: EAX, EBX, ECX, EDX.
using CpuidReading = CpuIdRegisters;

/// Where the readings come from: the instruction, or recorded values in tests.
class CpuidReader {
public:
  virtual ~CpuidReader() = default;
  /// Whether the processor executes CPUID at all.
  virtual bool available() = 0;
  /// CPUID with EAX = `leaf` and ECX = `subleaf`.
  virtual CpuidReading read(uint32_t leaf, uint32_t subleaf) = 0;
};

/// The CPUID instruction of this processor; not available on processors other
/// than x86 and x86-64.
CpuidReader& instructionCpuidReader();

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

/// Reads the facts through `reader`. False when CPUID is not available.
bool readProcessorFacts(CpuidReader& reader, ProcessorFacts* facts);

/// The clock rate in MHz that the operating system knows for the processor;
/// 0 when it knows none.
int readHostClockMHz();

/// The whole report: status line, then one top-level group. A null
/// `topology` (unreadable, see readCpuTopology) gives a status of 1 and
/// leaves out the counts.
std::string formatHostReport(const ProcessorFacts* facts,
                             const CpuTopology* topology, int clockMHz);

#endif
