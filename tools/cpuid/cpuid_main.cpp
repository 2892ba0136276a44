// cpuid_main.cpp: the cpuid program. It measures this host's processors and
// prints the report that the enablers read: the number of active packages,
// the processor's identity, the active cores and logical processors per
// package, the clock rate, the 64-bit features and the counts that CPUID
// itself gives. The enablers start it without arguments; it answers --help
// and --version, ignores any other argument and ends with 0.
#include "common/platform/standard_streams.h"
#include "common/program_info.h"
#include "host_report.h"

#include <stdio.h>

namespace {

const char kBanner[] = "cpuid: the KEP Enabler project's stand-in for the "
                       "inventory product's cpuid program\n";

const char kHelp[] =
    "Usage: cpuid\n"
    "       cpuid --help | --version\n"
    "\n"
    "Prints this host's processor report in the variable-tree text form\n"
    "that the enablers read: the active packages, the processor's identity,\n"
    "cores and logical processors per package, clock rate, 64-bit features\n"
    "and the counts CPUID gives. It stands in for the inventory product's\n"
    "own cpuid program where that is not installed; the enablers run it from\n"
    "their own folder without arguments. Other arguments are ignored.\n"
    "\n"
    "Exit status: 0. It writes no log; the enablers write theirs to\n"
    "en_out.txt.\n"
    "Check a report with: cpuid | vtdump --record\n";

} // namespace

int main(int argc, char** argv) {
  // Answered before standard output turns binary: these are text for a
  // person.
  if (answerHelpOrVersion(argc, argv, "cpuid", kHelp, kBanner))
    return 0;
  // Line feeds go out as they are; the report's reader sees LF line ends.
  setBinaryStdio(kStandardOutput);

  ProcessorFacts facts;
  bool haveFacts = readProcessorFacts(processorCpuIdSource(), &facts);

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
