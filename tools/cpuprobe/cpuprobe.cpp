// cpuprobe.cpp: shows what the CPUID probe makes of a processor. It probes
// this processor, or a recorded one from a replay file, and prints the
// processor record one field a line, then the host's package counts; with
// --record it prints this processor's readings and this host's counts as a
// replay file instead.
#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_replay.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const int kStatusOk = 0;
const int kStatusFailed = 2;

const char kUsage[] = "usage: cpuprobe [--record | --replay FILE "
                      "[--processors N] [--packages N]]\n";

struct Options {
  bool record = false;
  const char* replayFile = nullptr;
  int processors = 0; ///< 0: as the replay file says
  int packages = -1;  ///< -1: as the replay file says
};

bool parseCount(const char* text, long min, int* count) {
  char* end = nullptr;
  long value = strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < min || value > 1000000)
    return false;
  *count = static_cast<int>(value);
  return true;
}

bool parseOptions(int argc, char** argv, Options* options) {
  bool countGiven = false;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--record") == 0) {
      options->record = true;
    } else if (strcmp(argv[i], "--replay") == 0 && i + 1 < argc) {
      options->replayFile = argv[++i];
    } else if (strcmp(argv[i], "--processors") == 0 && i + 1 < argc) {
      if (!parseCount(argv[++i], 1, &options->processors))
        return false;
      countGiven = true;
    } else if (strcmp(argv[i], "--packages") == 0 && i + 1 < argc) {
      if (!parseCount(argv[++i], 0, &options->packages))
        return false;
      countGiven = true;
    } else {
      return false;
    }
  }
  if (options->record && options->replayFile)
    return false;
  return options->replayFile || !countGiven;
}

void printInt(const char* name, int32_t value) {
  printf("%s=%ld\n", name, static_cast<long>(value));
}

void printUnsigned(const char* name, uint32_t value) {
  printf("%s=%lu\n", name, static_cast<unsigned long>(value));
}

void printRecord(int result, const CpuIdInfo& info) {
  printf("result=%d\n", result);
  printf("vendor=%s\n", info.vendor);
  printf("brandString=%s\n", info.brandString);
  printInt("family", info.family);
  printInt("model", info.model);
  printInt("stepping", info.stepping);
  printInt("processorType", info.processorType);
  printInt("brandIndex", info.brandIndex);
  printUnsigned("cpuSignature", info.cpuSignature);
  printUnsigned("maxCpuidLevel", info.maxCpuidLevel);
  printUnsigned("maxCpuidExtLevel", info.maxCpuidExtLevel);
  printInt("apicId", info.apicId);
  printInt("apicIdCount", info.apicIdCount);
  int count = descriptorCount;
  if (count < 0)
    count = 0;
  if (count > static_cast<int>(sizeof(info.cacheDescriptors)))
    count = static_cast<int>(sizeof(info.cacheDescriptors));
  printf("cacheDescriptors=");
  for (int i = 0; i < count; ++i)
    printf("%02x", static_cast<unsigned>(info.cacheDescriptors[i]));
  printf("\n");
  printInt("L2CacheSize", info.L2CacheSize);
  printInt("L2CacheLineSize", info.L2CacheLineSize);
  printInt("L2CacheAssociativity", info.L2CacheAssociativity);
  printInt("L3CacheSize", info.L3CacheSize);
  printInt("L3CacheLineSize", info.L3CacheLineSize);
  printInt("L3CacheAssociativity", info.L3CacheAssociativity);
  printInt("HTTisSet", info.HTTisSet);
  printUnsigned("featuresEcx", info.featuresEcx);
  printUnsigned("featuresEdx", info.featuresEdx);
  printUnsigned("ext1Eax", info.ext1Eax);
  printUnsigned("ext1Ebx", info.ext1Ebx);
  printUnsigned("ext1Ecx", info.ext1Ecx);
  printUnsigned("ext1Edx", info.ext1Edx);
  printInt("Intel.isIntel", info.Intel.isIntel);
  printInt("Intel.maxCoresPerChip", info.Intel.maxCoresPerChip);
  printInt("AMD.isAMD", info.AMD.isAMD);
  printUnsigned("AMD.powerManagement", info.AMD.powerManagement);
  printUnsigned("AMD.extBrandId", info.AMD.extBrandId);
  printInt("AMD.cmpLegacyIsSet", info.AMD.cmpLegacyIsSet);
  printInt("AMD.maxCoresPerChip", info.AMD.maxCoresPerChip);
  printInt("AMD.apicCoreBitsCount", info.AMD.apicCoreBitsCount);
  printInt("AMD.numOfCores", info.AMD.numOfCores);
  printInt("numCoresPerChip", info.numCoresPerChip);
  printInt("numLogicalPerChip", info.numLogicalPerChip);
  printInt("numLogicalPerCore", info.numLogicalPerCore);
  printInt("htLogicalProcessors", info.htLogicalProcessors);
  printInt("numOfCores", info.numOfCores);
  printInt("htLogicalPerCore", info.htLogicalPerCore);
  printInt("descriptorCount", descriptorCount);
}

// The counts beside the record: the system's package count, the division
// and the one the enablers take. A probe that failed leaves the system's
// count unasked in the enablers, so it is not taken here either.
void printPackages(int result, const CpuIdInfo& info,
                   const ProcessorServices& processor) {
  int processors = processor.processorCount();
  int systemPackages = processor.packageCount();
  int used = choosePhysicalPackages(result == 0 ? systemPackages : 0,
                                    processors, info.htLogicalProcessors);
  bool fromSystem = result == 0 && systemPackages >= 1;
  printInt("numberOfProcessors", processors);
  printInt("numberOfPhysicalPackages", systemPackages);
  printInt("packagesByDivision",
           packagesByDivision(processors, info.htLogicalProcessors));
  printInt("packagesUsed", used);
  printf("packagesSource=%s\n", fromSystem ? "system" : "division");
}

// Runs the probe on this processor and prints every reading it made, with a
// comment naming the processor and this host's counts, so the output can
// serve as a replay file that gives the same counts on any machine.
int record() {
  RecordingCpuIdSource recorder(processorCpuIdSource());
  CpuIdInfo info;
  getCpuIdInfo(&info, recorder);
  printf("# recorded by cpuprobe --record\n");
  if (info.vendor[0] || info.brandString[0])
    printf("# %s %s\n", info.vendor, info.brandString);
  fputs(formatCpuIdReplayCounts(getNumberOfProcessors(),
                                getNumberOfPhysicalPackages())
            .c_str(),
        stdout);
  fputs(recorder.replayText().c_str(), stdout);
  return kStatusOk;
}

} // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    fputs(kUsage, stderr);
    return kStatusFailed;
  }
  if (options.record)
    return record();

  ReplayCpuIdSource replay;
  ProcessorServices processor = systemProcessorServices();
  if (options.replayFile) {
    std::string err;
    if (!loadCpuIdReplay(options.replayFile, &replay, &err)) {
      fprintf(stderr, "cpuprobe: %s\n", err.c_str());
      return kStatusFailed;
    }
    processor.cpuIdSource = &replay;
    // The options, else the recording's counts, else one processor of a
    // host whose package count is not known.
    int processors =
        options.processors > 0 ? options.processors : replay.processorCount();
    if (processors < 1)
      processors = 1;
    int packages =
        options.packages >= 0 ? options.packages : replay.packageCount();
    processor.processorCount = [processors] { return processors; };
    processor.packageCount = [packages] { return packages; };
  }
  CpuIdInfo info;
  int result = getCpuIdInfo(&info, *processor.cpuIdSource);
  printRecord(result, info);
  printPackages(result, info, processor);
  return kStatusOk;
}
