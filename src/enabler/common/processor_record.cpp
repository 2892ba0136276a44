// processor_record.cpp: the physical-processor record, built from the report
// of the cpuid program that lies beside the enabler's own executable. Both
// enablers share the builder; they differ in the source of the per-package
// counts, the default word width, the flushing of the log and where the
// record goes.
#include "processor_record.h"

#include "common/check.h"
#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "common/vartree/vtree.h"
#include "enabler/common/frame.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

enum class Variant { VirtualServer, VMware };

/// The own-path buffer's first content, shown as the path when the query
/// fails without writing.
const char kOwnPathPlaceholder[] =
    "WARNING! Failed to get exec path and file name.\n";
const unsigned long kOwnPathMax = 1024;
/// Each string of the record is cut to this many bytes; the report's lines
/// are otherwise bounded only by the reader's line buffer.
const int kRecordStringMax = 255;

/// The values read from the cpuid report.
struct CpuidValues {
  int packages;
  const char* manufacturer; ///< points into the document or is "Unknown"
  const char* family;
  const char* type;
  int coresPerPackage;
  int logicalPerCore;
  int clockMHz;
  int bits;
};

// A direct line of the log; vs-enabler flushes after each.
void logLine(Variant variant, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void logLine(Variant variant, const char* format, ...) {
  // Every direct line of the builder is a short fixed text with at most one
  // number in it.
  char text[160];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  logText("%s", text);
  if (variant == Variant::VirtualServer)
    flushLog();
}

// The cpuid program beside the enabler's own executable, or the bare program
// name when the own path is unusable.
std::string cpuidProgramPath(Variant variant,
                             const OwnPathQuery& ownPathQuery) {
  char ownPath[kOwnPathMax + 1];
  memcpy(ownPath, kOwnPathPlaceholder, sizeof kOwnPathPlaceholder);
  const std::string programName = programFileName("cpuid");
  std::string program = programName;
  unsigned long length = ownPathQuery(ownPath, kOwnPathMax);
  if (length >= kOwnPathMax) {
    logLine(variant, "Warning! Failed to get path to enabler executable.\n");
  } else {
    ownPath[kOwnPathMax] = 0;
    debugLog("path to enabler executable: '%s'\n", ownPath);
    const char* separator = strrchr(ownPath, pathSeparator());
    if (separator)
      program =
          std::string(ownPath, static_cast<size_t>(separator + 1 - ownPath)) +
          programName;
  }
  debugLog("path to cpuid executable: '%s'\n", program.c_str());
  return program;
}

/// The lookups of the record, each noted in `seen` when that is not null.
class Lookups {
public:
  Lookups(const VtDocument* document, std::vector<ProcessorRecordValue>* seen)
      : document_(document), seen_(seen) {}

  int getInt(const char* path, const char* name, int dflt) {
    int value = vtGetInt(document_, path, name, dflt);
    if (seen_) {
      const VtValue* found = vtFindValue(document_, path, name);
      note(path, name, found && found->kind == VtInt, std::to_string(value));
    }
    return value;
  }

  const char* getString(const char* path, const char* name, const char* dflt) {
    const char* value = vtGetString(document_, path, name, dflt);
    // The default pointer itself comes back only when the value is absent.
    if (seen_)
      note(path, name, value != dflt, value);
    return value;
  }

private:
  void note(const char* path, const char* name, bool found,
            const std::string& taken) {
    std::string dotted = path ? std::string(path) + "." + name : name;
    seen_->push_back(ProcessorRecordValue{dotted, found, taken});
  }

  const VtDocument* document_;
  std::vector<ProcessorRecordValue>* seen_;
};

CpuidValues readValues(const VtDocument* document, Variant variant,
                       std::vector<ProcessorRecordValue>* seen = nullptr) {
  Lookups look(document, seen);
  CpuidValues v;
  v.packages = look.getInt(nullptr, "ActivePackageCount", 0);
  v.manufacturer = look.getString("Processor", "Manufacturer", "Unknown");
  v.family = look.getString("Processor", "Family", "Unknown");
  v.type = look.getString("Processor", "Type", "Unknown");
  int wideDefault;
  if (variant == Variant::VirtualServer) {
    // The active counts: cores per package, and logical processors per
    // package turned into logical processors per core.
    v.coresPerPackage = look.getInt("Processor", "ActiveCoreCount", 0);
    int logicalPerPackage = look.getInt("Processor", "ActiveProcCount", 0);
    v.logicalPerCore = v.coresPerPackage > 0
                           ? logicalPerPackage / v.coresPerPackage
                           : logicalPerPackage;
    wideDefault = 32;
  } else {
    // The counts that CPUID itself gives.
    v.coresPerPackage =
        look.getInt("Processor.CPUID", "CorePerPackageCount", 0);
    v.logicalPerCore = look.getInt("Processor.CPUID", "HtPerCoreCount", 0);
    wideDefault = 0;
  }
  v.clockMHz = look.getInt("Processor", "CpuClockMHz", 0);
  // LM decides when present, IEM64T when only it is present; with neither the
  // default decides (64 for vs-enabler, 32 for vmware-enabler).
  int wide = look.getInt("Processor.Features", "IEM64T", wideDefault);
  wide = look.getInt("Processor.Features", "LM", wide);
  v.bits = wide >= 1 ? 64 : 32;
  return v;
}

void logValues(const CpuidValues& v) {
  debugLog("cpuid numPackages         = %d\n", v.packages);
  debugLog("cpuid corePerPackageCount = %d\n", v.coresPerPackage);
  debugLog("cpuid logicalProcPerCore  = %d\n", v.logicalPerCore);
  debugLog("cpuid manufacturer = '%s'\n", v.manufacturer);
  debugLog("cpuid family       = '%s'\n", v.family);
  debugLog("cpuid type         = '%s'\n", v.type);
  debugLog("cpuid bits         = %d\n", v.bits);
}

std::string formatRecord(const CpuidValues& v) {
  const char* format = "%d:%.*s:%.*s:%.*s:%d:%d:%d:%d";
  int length =
      snprintf(nullptr, 0, format, v.packages, kRecordStringMax, v.manufacturer,
               kRecordStringMax, v.family, kRecordStringMax, v.type,
               v.coresPerPackage, v.logicalPerCore, v.clockMHz, v.bits);
  std::string record(static_cast<size_t>(length) + 1, '\0');
  snprintf(&record[0], record.size(), format, v.packages, kRecordStringMax,
           v.manufacturer, kRecordStringMax, v.family, kRecordStringMax, v.type,
           v.coresPerPackage, v.logicalPerCore, v.clockMHz, v.bits);
  record.resize(static_cast<size_t>(length));
  return record;
}

char* mallocCopy(const std::string& text) {
  char* copy = static_cast<char*>(malloc(text.size() + 1));
  if (copy)
    memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Runs the cpuid program and reads its report; null, with the reason kept in
// the site, when it cannot be run. Without the own path there is no folder to
// run the program from, and where the system would look for the bare name on
// PATH alone, a different program of that name could run and its record be
// published: none runs. Below a home directory the name is placed there.
VtDocument* runCpuidProgram(const std::string& program,
                            const CpuidProgramSite& site) {
  if (program.find(pathSeparator()) != std::string::npos ||
      bareProgramNamesStartInOwnFolder() || getEnvironment("KEP_HOMEDIR"))
    return vtExecCommand(program.c_str(), site.error, site.limits);
  keepSystemError(site.error,
                  systemError("find '" + program +
                                  "' beside the enabler, whose own path is "
                                  "unknown (PATH is not searched)",
                              noSuchFileErrorCode()));
  return nullptr;
}

// Hands the record on as the form does: vs-enabler through `record` and
// `packageCount`, vmware-enabler into PHYSICAL_PROCESSOR. 1 when it was.
int handOverRecord(Variant variant, const CpuidValues& values, char** record,
                   int* packageCount) {
  std::string text = formatRecord(values);
  debugLog("PHYSICAL_PROCESSOR = '%s'\n", text.c_str());
  if (variant == Variant::VMware) {
    if (setEnvironment("PHYSICAL_PROCESSOR", text))
      return 1;
    logLine(variant, "Warning! Failed to set PHYSICAL_PROCESSOR variable.\n");
    return 0;
  }
  char* copy = mallocCopy(text);
  if (!copy)
    return 0;
  *record = copy;
  *packageCount = values.packages;
  return 1;
}

// The record from the cpuid program's report; 1 when it was handed over. A
// report without a package count above 0 gives none.
int recordFromReport(Variant variant, const VtDocument* document, char** record,
                     int* packageCount) {
  if (document->status != 0)
    logLine(variant, "Warning! cpuid returned error = %d\n", document->status);
  CpuidValues values = readValues(document, variant);
  logValues(values);
  if (values.packages <= 0)
    return 0;
  return handOverRecord(variant, values, record, packageCount);
}

// The steps both forms share. On success the vs-enabler form hands the record
// through `record` and `packageCount`, the vmware-enabler form puts it into
// PHYSICAL_PROCESSOR.
int buildRecord(Variant variant, char** record, int* packageCount,
                const CpuidProgramSite& site) {
  logLine(variant, "getInfoFromCPUID() started.\n");
  std::string program = cpuidProgramPath(variant, site.ownPath);
  int result = 0;
  if (VtDocumentPtr document{runCpuidProgram(program, site)})
    result = recordFromReport(variant, document.get(), record, packageCount);
  else
    logLine(variant, "Warning! vtExecCommand failed.\n");
  // The script must never see a record that this run did not make, such as
  // one inherited from the caller's environment.
  if (variant == Variant::VMware && result == 0)
    removeEnvironment("PHYSICAL_PROCESSOR");
  logLine(variant, "getInfoFromCPUID() finished with result=%d\n", result);
  return result;
}

} // namespace

CpuidProgramSite defaultCpuidProgramSite() {
  return CpuidProgramSite{ownExecutablePath, nullptr};
}

int getInfoFromCPUID(char** record, int* packageCount) {
  return getInfoFromCPUID(record, packageCount, defaultCpuidProgramSite());
}

int getInfoFromCPUID() {
  return getInfoFromCPUID(defaultCpuidProgramSite());
}

int getInfoFromCPUID(char** record, int* packageCount,
                     const CpuidProgramSite& site) {
  ENABLER_ASSERT(record != 0, "processor_record");
  ENABLER_ASSERT(packageCount != 0, "processor_record");
  return buildRecord(Variant::VirtualServer, record, packageCount, site);
}

int getInfoFromCPUID(const CpuidProgramSite& site) {
  return buildRecord(Variant::VMware, nullptr, nullptr, site);
}

std::vector<ProcessorRecordValue>
processorRecordValues(const VtDocument* document, EnablerProgram program) {
  std::vector<ProcessorRecordValue> seen;
  readValues(document,
             program == EnablerProgram::VMware ? Variant::VMware
                                               : Variant::VirtualServer,
             &seen);
  return seen;
}

bool composeProcessorRecord(const VtDocument* document, EnablerProgram program,
                            std::string* record, int* packageCount) {
  CpuidValues values = readValues(document, program == EnablerProgram::VMware
                                                ? Variant::VMware
                                                : Variant::VirtualServer);
  if (values.packages <= 0)
    return false;
  *record = formatRecord(values);
  *packageCount = values.packages;
  return true;
}
