// cpuid_main.cpp: the cpuid program. It measures this host's processors and
// prints the report that the enablers read: the number of active packages,
// the processor's identity, the active cores and logical processors per
// package, the clock rate, the 64-bit features and the counts that CPUID
// itself gives. It takes no arguments and ends with 0.
#include "host_report.h"

#include <stdio.h>

int main() {
  setBinaryOutput();

  ProcessorFacts facts;
  bool haveFacts = readProcessorFacts(instructionCpuidReader(), &facts);

  CpuTopology topology;
  bool haveTopology = readCpuTopology(&topology);

  // The operating system's clock figure first; the processor's frequency
  // leaf where the system has none.
  int clockMHz = readHostClockMHz();
  if (clockMHz <= 0 && haveFacts)
    clockMHz = facts.baseClockMHz;

  std::string report =
      formatHostReport(haveFacts ? &facts : nullptr,
                       haveTopology ? &topology : nullptr, clockMHz);
  fwrite(report.data(), 1, report.size(), stdout);
  fflush(stdout);
  return 0;
}
