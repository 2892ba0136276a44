// frame.cpp: the command line, the log file, debug lines and the exit status
// around the worker of either enabler.
#include "enabler/common/frame.h"

#include "common/check.h"
#include "common/platform/files.h"
#include "common/platform/process_setup.h"
#include "common/platform/system_error.h"
#include "common/program_info.h"
#include "enabler/common/admin_options.h"
#include "enabler/common/exit_status.h"

#include <stdarg.h>
#include <string.h>

#include <string>

bool verbose = false;
FILE* logFile = nullptr;
int returnCode = kVsOk;

namespace {

EnablerProgram enablerProgram = EnablerProgram::VirtualServer;

const char kLogFileName[] = "en_out.txt";

bool dryRun = false;

const char kVirtualServerBanner[] =
    "KEP Enabler (08/06/19 17:11:59 "
    "src/enabler/MSVirtualServer/EnablerVirtualServer, enabler, kep_2.5, "
    "20080619v2.5)\n";
const char kVMwareBanner[] =
    "KEP Enabler (07/02/06 14:15:53 src/enabler/VMWare/w32/enablerh, enabler, "
    "kepdev, 20070206dev)\n";

/// The two flags of an accepted command line, and whether the dry run takes
/// the worker's place.
struct Flags {
  bool log = false;
  bool version = false;
  bool dryRun = false;
};

/// What a program answers on its own, without the job.
struct ProgramAnswers {
  const char* name; ///< null: the program takes no administrator's options
  const char* help;
  const char* banner;
  int usageStatus;
};

void writeUsage(char** argv) {
  // A vector without a program name still gets a well-formed usage line.
  const char* name = argv != nullptr && argv[0] != nullptr ? argv[0] : "";
  fprintf(stderr, "Usage: %s [ -v ]\n", name);
}

/// Why a line was refused: the first argument that is no option ("'-x' not
/// understood") or that repeats one ("'-v' given twice").
std::string refusal(int argc, char** argv) {
  const char* options[] = {"-v", "-version", "--dry-run"};
  int seen[3] = {0, 0, 0};
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    std::string argument = argv[i] != nullptr ? argv[i] : "";
    int known = -1;
    for (int k = 0; k < 3; ++k)
      if (argument == options[k])
        known = k;
    if (known < 0)
      return "'" + argument + "' not understood";
    if (++seen[known] > 1)
      return "'" + argument + "' given twice";
  }
  return "too many arguments";
}

/// The line a program with the administrator's options adds below the usage
/// line of a refused command line: why, and which options there are. The
/// usage line stays what callers know.
void explainRefusal(const char* name, int argc, char** argv) {
  fprintf(stderr, "%s: %s", name, refusal(argc, argv).c_str());
  fprintf(stderr, " (options: -v -version --dry-run --help --version)\n");
}

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
  if (!accepted)
    writeUsage(argv);
  return accepted;
}

/// The administrator's options first (when the program takes them), then the
/// usual acceptance. True when the job is to run with `flags`; otherwise
/// `*status` is the exit status: 0 after the help or version text, the usage
/// status after the usage line.
bool chooseRun(int argc, char** argv, const ProgramAnswers& answers,
               Flags& flags, int* status) {
  AdminOptions admin;
  if (answers.name != nullptr)
    admin = readAdminOptions(argc, argv);
  switch (admin.request) {
  case AdminRequest::kHelp:
    fputs(answers.help, stdout);
    *status = 0;
    return false;
  case AdminRequest::kVersion:
    printVersion(stdout, answers.name, answers.banner);
    *status = 0;
    return false;
  case AdminRequest::kDryRun:
    flags.log = admin.log;
    flags.version = admin.version;
    flags.dryRun = true;
    return true;
  case AdminRequest::kRejected:
    // A line with --dry-run is refused with the same line as any other.
    writeUsage(argv);
    break;
  case AdminRequest::kNone:
    if (acceptCommandLine(argc, argv, flags))
      return true;
    break;
  }
  if (answers.name != nullptr)
    explainRefusal(answers.name, argc, argv);
  *status = answers.usageStatus;
  return false;
}

/// Opens en_out.txt in the current directory, truncating an earlier one; text
/// mode, so each "\n" becomes the platform's line end. A link, a named pipe,
/// a device or another run's log there counts as a log that cannot be
/// created, and no child inherits the log.
bool openLogFile(SystemError* error) {
  logFile = openRunLog(kLogFileName, error);
  return logFile != nullptr;
}

/// Says why the log asked for could not be opened; the run goes on without.
void explainNoLog(const SystemError& error) {
  reportReason("no log: %s", error.message().c_str());
}

const char* programName() {
  return enablerProgram == EnablerProgram::VirtualServer ? "vs-enabler"
                                                         : "vmware-enabler";
}

void vreportReason(const char* format, va_list args) {
  // The reasons hold the system's texts, which a console shows in its own
  // code page (printDiagnostic).
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
  if (length > 0)
    vsnprintf(&text[0], text.size(), format, args);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  printDiagnostic(stderr, "%s: %s\n", programName(), text.c_str());
  fflush(stderr);
}

} // namespace

void resetFrame(EnablerProgram program) {
  closeLogFile();
  dryRun = false;
  verbose = false;
  returnCode = kVsOk;
  enablerProgram = program;
}

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

void reportReason(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vreportReason(format, args);
  va_end(args);
}

void reportDryRunReason(const char* format, ...) {
  if (!dryRun)
    return;
  va_list args;
  va_start(args, format);
  vreportReason(format, args);
  va_end(args);
}

bool dryRunning() {
  return dryRun;
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
  return runVirtualServerFrame(
      argc, argv, VirtualServerProgram{nullptr, nullptr, worker, nullptr});
}

int runVirtualServerFrame(int argc, char** argv,
                          const VirtualServerProgram& program) {
  ENABLER_ASSERT(program.worker != nullptr, "frame");
  prepareUnattendedProcess();
  resetFrame(EnablerProgram::VirtualServer);
  Flags flags;
  int status = kVsOk;
  if (!chooseRun(argc, argv,
                 {program.name, program.help, kVirtualServerBanner, kVsUsage},
                 flags, &status))
    return status;
  void (*worker)() = flags.dryRun ? program.dryRun : program.worker;
  ENABLER_ASSERT(worker != nullptr, "frame");

  verbose = flags.log;
  dryRun = flags.dryRun;
  if (flags.version)
    fputs(kVirtualServerBanner, stderr);
  if (verbose) {
    SystemError error;
    if (openLogFile(&error)) {
      logText("Log file opened\n");
    } else {
      verbose = false;
      explainNoLog(error);
    }
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
  return runVMwareFrame(argc, argv,
                        VMwareProgram{nullptr, nullptr, worker, nullptr});
}

int runVMwareFrame(int argc, char** argv, const VMwareProgram& program) {
  ENABLER_ASSERT(program.worker != nullptr, "frame");
  prepareUnattendedProcess();
  resetFrame(EnablerProgram::VMware);
  Flags flags;
  int status = kVmwOk;
  if (!chooseRun(argc, argv,
                 {program.name, program.help, kVMwareBanner, kVmwUsage}, flags,
                 &status))
    return status;
  int (*worker)() = flags.dryRun ? program.dryRun : program.worker;
  ENABLER_ASSERT(worker != nullptr, "frame");

  // The log opens silently; the worker closes it before it ends. The banner
  // stays the first line of standard error.
  dryRun = flags.dryRun;
  SystemError logError;
  if (flags.log && openLogFile(&logError))
    verbose = true;
  if (flags.version)
    fputs(kVMwareBanner, stderr);
  if (logError.failed())
    explainNoLog(logError);
  return worker();
}
