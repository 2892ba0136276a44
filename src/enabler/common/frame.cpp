// frame.cpp: the command line, the log file, debug lines and the exit status
// around the worker of either enabler.
#include "enabler/common/frame.h"

#include "common/check.h"
#include "common/platform/files.h"
#include "common/platform/process_setup.h"
#include "enabler/common/exit_status.h"

#include <stdarg.h>
#include <string.h>

bool verbose = false;
FILE* logFile = nullptr;
int returnCode = kVsOk;
EnablerProgram enablerProgram = EnablerProgram::VirtualServer;

namespace {

const char kLogFileName[] = "en_out.txt";

const char kVirtualServerBanner[] =
    "KEP Enabler (08/06/19 17:11:59 "
    "src/enabler/MSVirtualServer/EnablerVirtualServer, enabler, kep_2.5, "
    "20080619v2.5)\n";
const char kVMwareBanner[] =
    "KEP Enabler (07/02/06 14:15:53 src/enabler/VMWare/w32/enablerh, enabler, "
    "kepdev, 20070206dev)\n";

/// The two flags of an accepted command line.
struct Flags {
  bool log = false;
  bool version = false;
};

/// Accepts at most two arguments, each "-v" or "-version" and no flag twice;
/// otherwise writes the usage line and returns false.
bool acceptCommandLine(int argc, char** argv, Flags& flags) {
  bool accepted = argc <= 3;
  if (accepted) {
    flags.log = hasArgument(argc, argv, "-v");
    flags.version = hasArgument(argc, argv, "-version");
    int recognised = (flags.log ? 1 : 0) + (flags.version ? 1 : 0);
    accepted = recognised >= argc - 1;
  }
  if (!accepted) {
    // A vector without a program name still gets a well-formed usage line.
    const char* name = argv != nullptr && argv[0] != nullptr ? argv[0] : "";
    fprintf(stderr, "Usage: %s [ -v ]\n", name);
  }
  return accepted;
}

/// Opens en_out.txt in the current directory, truncating an earlier one; text
/// mode, so each "\n" becomes the platform's line end. A link, a named pipe,
/// a device or another run's log there counts as a log that cannot be
/// created, and no child inherits the log.
bool openLogFile() {
  logFile = openRunLog(kLogFileName);
  return logFile != nullptr;
}

/// A fresh start for an entry: a process runs one entry, but the unit tests
/// run several in one process.
void resetFrame(EnablerProgram program) {
  closeLogFile();
  verbose = false;
  returnCode = kVsOk;
  enablerProgram = program;
}

} // namespace

bool hasArgument(int argc, char** argv, const char* text) {
  if (argv == nullptr || text == nullptr)
    return false;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr && strcmp(argv[i], text) == 0)
      return true;
  }
  return false;
}

void debugLog(const char* format, ...) {
  // A null stream is skipped in both programs: writing to it would crash.
  if (!verbose || format == nullptr || format[0] == '\0' || logFile == nullptr)
    return;
  fputs("DBG: ", logFile);
  va_list args;
  va_start(args, format);
  vfprintf(logFile, format, args);
  va_end(args);
  if (enablerProgram == EnablerProgram::VirtualServer)
    fflush(logFile);
}

void logText(const char* format, ...) {
  if (!verbose || format == nullptr || logFile == nullptr)
    return;
  va_list args;
  va_start(args, format);
  vfprintf(logFile, format, args);
  va_end(args);
}

void flushLog() {
  if (verbose && logFile != nullptr)
    fflush(logFile);
}

void closeLogFile() {
  if (logFile == nullptr)
    return;
  fclose(logFile);
  logFile = nullptr;
}

int runVirtualServerFrame(int argc, char** argv, void (*worker)()) {
  ENABLER_ASSERT(worker != nullptr, "frame");
  prepareUnattendedProcess();
  resetFrame(EnablerProgram::VirtualServer);
  Flags flags;
  if (!acceptCommandLine(argc, argv, flags))
    return kVsUsage;

  verbose = flags.log;
  if (flags.version)
    fputs(kVirtualServerBanner, stderr);
  if (verbose) {
    if (openLogFile())
      logText("Log file opened\n");
    else
      verbose = false;
  }

  worker();

  if (returnCode != kVsOk)
    logText("\nERROR: Return code %d\n", returnCode);
  else
    logText("\nOK: Return code %d\n", returnCode);
  if (verbose && logFile != nullptr) {
    logText("\nClosing log file\n");
    closeLogFile();
  }
  return returnCode;
}

int runVMwareFrame(int argc, char** argv, int (*worker)()) {
  ENABLER_ASSERT(worker != nullptr, "frame");
  prepareUnattendedProcess();
  resetFrame(EnablerProgram::VMware);
  Flags flags;
  if (!acceptCommandLine(argc, argv, flags))
    return kVmwUsage;

  // The log opens silently; the worker closes it before it ends.
  if (flags.log && openLogFile())
    verbose = true;
  if (flags.version)
    fputs(kVMwareBanner, stderr);
  return worker();
}
