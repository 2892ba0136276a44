// cpuprobe_output.h: what cpuprobe prints from one probe and the host's
// counts: the name=value lines (the default), a summary in words with the
// node capacity each enabler would publish, or the same fields as JSON.
#ifndef ENABLER_TOOLS_CPUPROBE_OUTPUT_H
#define ENABLER_TOOLS_CPUPROBE_OUTPUT_H

#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_details.h"

#include <string>

/// The host's packages as the enablers count them.
struct Packages {
  int processors;     ///< logical processors the system reports
  int system;         ///< packages the system reports; 0: not known
  int byDivision;     ///< processors / htLogicalProcessors
  int used;           ///< the count the enablers take
  bool fromSystem;    ///< `used` is the system's count
  bool probed;        ///< the probe ran: the processor executes CPUID
  int32_t perPackage; ///< htLogicalProcessors
};

/// `text` as one line of printable ASCII: backslash as `\\`, line feed,
/// carriage return and tab as `\n`, `\r` and `\t`, every other byte outside
/// 0x20 to 0x7E as `\x` and two lower-case hexadecimal digits. The vendor and
/// brand are the processor's bytes (a replay file's or a hypervisor's), and
/// a line feed among them would print a line of its own.
std::string escapedText(const std::string& text);

/// `value` as "0x" and eight lower-case hexadecimal digits: "0x000306a9".
std::string hexText(uint32_t value);

/// The counts for a probe that gave `result` and `info` on `processor`.
Packages countPackages(int result, const CpuIdInfo& info,
                       const ProcessorServices& processor);

/// `result=`, one `name=value` line for each field of the record in the
/// order of its definition (register values in hexText's form),
/// `descriptorCount=`, then the counts:
/// numberOfProcessors, numberOfPhysicalPackages, packagesByDivision,
/// packagesUsed and packagesSource. On standard output.
void printFieldLines(int result, const CpuIdInfo& info,
                     const Packages& packages);

/// One `label: value` line each: the processor (family, model and stepping as
/// the vendors number them, the signature and highest leaves in hexadecimal),
/// its counts, one line for each of `caches`, and the node capacity each
/// enabler would publish, with the reason.
void printSummary(int result, const CpuIdInfo& info, const CacheList& caches,
                  const Packages& packages);

/// The fields of printFieldLines as one JSON object, in the same order (every
/// integer a number), then "nodeCapacity" with each enabler's value and
/// reason, "processor" (family, model and stepping as the vendors number
/// them; null without CPUID) and "caches" (`caches`).
void printJson(int result, const CpuIdInfo& info, const CacheList& caches,
               const Packages& packages);

#endif
