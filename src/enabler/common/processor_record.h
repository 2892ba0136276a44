// processor_record.h: the physical-processor record built from the report of
// the product's cpuid program, which lies beside the enabler's executable.
#ifndef ENABLER_COMMON_PROCESSOR_RECORD_H
#define ENABLER_COMMON_PROCESSOR_RECORD_H

#include "common/platform/system_error.h"
#include "common/vartree/vtree.h"

#include <functional>
#include <string>
#include <vector>

enum class EnablerProgram;

/// The record: "packages:manufacturer:family:type:cores per package:logical
/// per core:MHz:bits", each of the three strings cut to its first 255 bytes.
/// Both forms log their steps under `verbose`; the vs-enabler form flushes the
/// log after each of its direct lines. Neither stops the enabler on failure.

/// vs-enabler form. On success `*record` receives a new copy of the record
/// text (the caller frees it with free(); see MallocText) and `*packageCount`
/// its package count; neither is written otherwise. 1 when the record was
/// built, else 0.
int getInfoFromCPUID(char** record, int* packageCount);

/// vmware-enabler form: sets PHYSICAL_PROCESSOR in the process environment.
/// 1 when the record was built and the variable set, else 0; with 0 the
/// variable is removed, so that no earlier value reaches the script.
int getInfoFromCPUID();

/// How the builder learns the enabler's own path, in the manner of
/// ownExecutablePath (paths.h): fills `buffer` (`size` + 1 bytes) and gives
/// the length, `size` or more when it did not fit, 0 on failure.
using OwnPathQuery =
    std::function<unsigned long(char* buffer, unsigned long size)>;

/// Where the builder looks for the cpuid program, where it keeps the reason
/// when the program could not be run or its report not read, and the bounds
/// on that report (a report beyond them counts as a program that could not
/// be run).
struct CpuidProgramSite {
  OwnPathQuery ownPath;         ///< the cpuid program lies beside this path
  SystemError* error = nullptr; ///< null: the reason is not kept
  ReadLimits limits = kVtReportLimits;
};

/// The machine's own path; no reason kept.
CpuidProgramSite defaultCpuidProgramSite();

/// The two forms with the cpuid program found through `site`.
int getInfoFromCPUID(char** record, int* packageCount,
                     const CpuidProgramSite& site);
int getInfoFromCPUID(const CpuidProgramSite& site);

/// The record composed from a cpuid report as `program`'s form of
/// getInfoFromCPUID composes it, without running anything or writing to the
/// log. False, leaving `*record` and `*packageCount` untouched, when the
/// report gives no package count above 0 (then there is no record).
bool composeProcessorRecord(const VtDocument* document, EnablerProgram program,
                            std::string* record, int* packageCount);

/// One value of the report that a form of the record looks up: its dotted
/// name ("ActivePackageCount", "Processor.Features.LM"), whether the report
/// holds it with the kind the record reads (an integer, or a string for
/// Manufacturer, Family and Type), and the value taken: the report's, or the
/// default the record takes in its place.
struct ProcessorRecordValue {
  std::string name;
  bool found;
  std::string taken;
};

/// The values `program`'s form of the record looks up in `document`, in the
/// order it looks them up, so a person can see what the record was made of.
std::vector<ProcessorRecordValue>
processorRecordValues(const VtDocument* document, EnablerProgram program);

#endif
