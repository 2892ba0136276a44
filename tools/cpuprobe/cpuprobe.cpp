// cpuprobe.cpp: shows what the CPUID probe makes of a processor. It probes
// this processor, or a recorded one from a replay file, and prints the
// processor record one field a line, then the host's package counts; with
// --summary the same in words with the node capacity each enabler would
// publish, with --json the same fields for scripts; with --record it prints
// this processor's readings and this host's counts as a replay file instead.
#include "common/program_info.h"
#include "cpuprobe_output.h"
#include "invscan/scanners/cpuid.h"
#include "invscan/scanners/cpuid_details.h"
#include "invscan/scanners/cpuid_replay.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const int kStatusOk = 0;
const int kStatusFailed = 2;

const char kUsage[] = "usage: cpuprobe [--summary | --json] [--replay FILE "
                      "[--processors N] [--packages N]] | --record\n";

const char kBanner[] = "cpuprobe: KEP Enabler diagnostics, the CPUID probe\n";

const char kHelp[] =
    "Usage: cpuprobe [--summary | --json]\n"
    "       cpuprobe [--summary | --json] --replay FILE [--processors N]\n"
    "                [--packages N]\n"
    "       cpuprobe --record\n"
    "       cpuprobe --help | --version\n"
    "\n"
    "Runs the enablers' CPUID probe on this processor, or on a recorded one,\n"
    "and prints the processor record it fills, one name=value line a field,\n"
    "then the host's package counts: the operating system's, the division\n"
    "of logical processors by logical processors per package, and the one\n"
    "the enablers take.\n"
    "\n"
    "Options:\n"
    "  --summary       the same in words: processor, cores and threads,\n"
    "                  packages and where the count comes from, caches, and\n"
    "                  the node capacity each enabler would publish, and why\n"
    "  --json          the same fields as one JSON object, for scripts\n"
    "  --replay FILE   probe the processor recorded in FILE\n"
    "  --processors N  the recorded host's logical processors (1 or more)\n"
    "  --packages N    the recorded host's packages as its system counted\n"
    "                  them (0: not known)\n"
    "  --record        print this processor's readings as a replay file\n"
    "  --help, -h, -?, /?\n"
    "                  print this help and end with 0\n"
    "  --version       print the version and end with 0\n"
    "\n"
    "Exit status: 0; 2 for a wrong command line or a replay file that cannot\n"
    "be read. It writes no log; the enablers write theirs to en_out.txt.\n";

enum class Output { kFields, kSummary, kJson };

struct Options {
  bool record = false;
  Output output = Output::kFields;
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
  int outputs = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--record") == 0) {
      options->record = true;
    } else if (strcmp(argv[i], "--summary") == 0) {
      options->output = Output::kSummary;
      ++outputs;
    } else if (strcmp(argv[i], "--json") == 0) {
      options->output = Output::kJson;
      ++outputs;
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
  if (options->record && (options->replayFile || outputs > 0))
    return false;
  if (outputs > 1)
    return false;
  return options->replayFile || !countGiven;
}

// Runs the probe on this processor and prints every reading it made, with a
// comment naming the processor and this host's counts, so the output can
// serve as a replay file that gives the same counts on any machine.
int record() {
  RecordingCpuIdSource recorder(processorCpuIdSource());
  CpuIdInfo info;
  // The cache list reads leaves and sub-leaves the probe does not; the
  // recording holds them too, so that a replay shows the same caches.
  if (getCpuIdInfo(&info, recorder) == 0)
    listCaches(info, recorder);
  printf("# recorded by cpuprobe --record\n");
  if (info.vendor[0] || info.brandString[0])
    printf("# %s %s\n", escapedText(info.vendor).c_str(),
           escapedText(info.brandString).c_str());
  fputs(formatCpuIdReplayCounts(getNumberOfProcessors(),
                                getNumberOfPhysicalPackages())
            .c_str(),
        stdout);
  fputs(recorder.replayText().c_str(), stdout);
  return kStatusOk;
}

} // namespace

int main(int argc, char** argv) {
  if (answerHelpOrVersion(argc, argv, "cpuprobe", kHelp, kBanner))
    return kStatusOk;
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
  Packages packages = countPackages(result, info, processor);
  if (options.output == Output::kFields) {
    printFieldLines(result, info, packages);
    return kStatusOk;
  }
  CacheList caches{"", {}};
  if (result == 0)
    caches = listCaches(info, *processor.cpuIdSource);
  if (options.output == Output::kSummary)
    printSummary(result, info, caches, packages);
  else
    printJson(result, info, caches, packages);
  return kStatusOk;
}
