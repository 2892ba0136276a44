// cpu_topology.h: the host's processors as the operating system counts them:
// physical packages, cores and logical processors. Natively the kernel's CPU
// directory in sysfs tells them, on Windows the logical processor
// information; each platform file reads its own. No OS header here.
#ifndef ENABLER_SCANNERS_CPU_TOPOLOGY_H
#define ENABLER_SCANNERS_CPU_TOPOLOGY_H

#include <set>
#include <string>

/// The host's online processors, all packages together.
struct CpuTopology {
  int packages = 0; ///< physical packages with an online processor
  int cores = 0;    ///< online cores
  int logical = 0;  ///< online logical processors
};

/// Reads the topology. Natively from the directory named by the environment
/// variable KEP_CPU_ROOT when it is set, else /sys/devices/system/cpu; on
/// Windows from GetLogicalProcessorInformationEx (every processor group), or
/// GetLogicalProcessorInformation where Windows lacks the Ex form. False when
/// the system cannot tell: a missing, garbled or non-regular file (a named
/// pipe is never waited on), or a Windows with neither function. `*topology`
/// is then unchanged.
bool readCpuTopology(CpuTopology* topology);

/// The CPU numbers of a sysfs list such as "0-3,8,10-11", with at most one
/// line end behind it. False when the text is not such a list, names no CPU
/// or a number above 65535.
bool parseCpuList(const std::string& text, std::set<int>* cpus);

/// A sysfs topology id: decimal digits, at most one line end behind them.
/// False for anything else, a negative id (the kernel's "not known")
/// included.
bool parseTopologyId(const std::string& text, long* id);

#endif
