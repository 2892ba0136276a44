// processor_record_fuzzer.cpp: the physical-processor record of both enablers
// composed from whatever document the reader makes of arbitrary cpuid output.
// The record must exist exactly when the report gives packages, keep its
// eight fields with each text cut to 255 bytes, and so stay short whatever
// the report holds.
#include "enabler/common/frame.h"
#include "enabler/common/processor_record.h"
#include "fuzz_support.h"

namespace {

const int kTextMax = 255;

// The record as the two forms define it, from the same lookups.
std::string modelRecord(const VtDocument* document, EnablerProgram program) {
  int packages = vtGetInt(document, nullptr, "ActivePackageCount", 0);
  std::string man =
      vtGetString(document, "Processor", "Manufacturer", "Unknown");
  std::string family = vtGetString(document, "Processor", "Family", "Unknown");
  std::string type = vtGetString(document, "Processor", "Type", "Unknown");
  int cores, logical, wide;
  if (program == EnablerProgram::VirtualServer) {
    cores = vtGetInt(document, "Processor", "ActiveCoreCount", 0);
    int procs = vtGetInt(document, "Processor", "ActiveProcCount", 0);
    logical = cores > 0 ? procs / cores : procs;
    wide = 32;
  } else {
    cores = vtGetInt(document, "Processor.CPUID", "CorePerPackageCount", 0);
    logical = vtGetInt(document, "Processor.CPUID", "HtPerCoreCount", 0);
    wide = 0;
  }
  int clock = vtGetInt(document, "Processor", "CpuClockMHz", 0);
  wide = vtGetInt(document, "Processor.Features", "IEM64T", wide);
  wide = vtGetInt(document, "Processor.Features", "LM", wide);
  return std::to_string(packages) + ":" + man.substr(0, kTextMax) + ":" +
         family.substr(0, kTextMax) + ":" + type.substr(0, kTextMax) + ":" +
         std::to_string(cores) + ":" + std::to_string(logical) + ":" +
         std::to_string(clock) + ":" + (wide >= 1 ? "64" : "32");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ChunkedReader reader(data, size, fuzzHash(data, size));
  VtDocument* document = vtReadDocument(&reader);
  int packages = vtGetInt(document, nullptr, "ActivePackageCount", 0);
  for (EnablerProgram program :
       {EnablerProgram::VirtualServer, EnablerProgram::VMware}) {
    std::string record;
    int count = -1;
    bool built = composeProcessorRecord(document, program, &record, &count);
    FUZZ_CHECK(built == (packages > 0), std::to_string(packages));
    if (!built) {
      FUZZ_CHECK(record.empty() && count == -1, "written without a record");
      continue;
    }
    FUZZ_CHECK(count == packages, std::to_string(count));
    FUZZ_CHECK(record.size() <= 3 * kTextMax + 5 * 11 + 7,
               "record of " + std::to_string(record.size()) + " bytes");
    std::string expected = modelRecord(document, program);
    FUZZ_CHECK(record == expected, record + "\nexpected\n" + expected);
  }
  vtFreeDocument(document);
  return 0;
}
