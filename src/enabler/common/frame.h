// frame.h: what both enablers share around their workers: the command line,
// the log file en_out.txt, debug lines and the exit status.
#ifndef ENABLER_COMMON_FRAME_H
#define ENABLER_COMMON_FRAME_H

#include <stdio.h>

/// Set once "-v" was accepted and the log opened; never cleared afterwards.
/// Every write to the log anywhere in the program is guarded by it.
extern bool verbose;
/// The log stream, or null.
extern FILE* logFile;
/// vs-enabler: the exit status each failure overwrites; the last one decides.
extern int returnCode;

/// Which program the frame serves. It decides the reasons' program name and
/// whether each log line reaches the disk at once (vs-enabler) or not; only
/// resetFrame sets it.
enum class EnablerProgram { VirtualServer, VMware };

/// A fresh start, as each entry makes first: the log closed, verbose false,
/// returnCode 0, no dry run, and `program` the one that runs. A process runs
/// one entry; tests that run a worker without an entry start it here too.
void resetFrame(EnablerProgram program);

/// True when one of argv[1..argc-1] equals `text` byte for byte. False for a
/// null vector, a null text or argc <= 1.
bool hasArgument(int argc, char** argv, const char* text);

/// "DBG: " and the formatted text to the log, when verbose, the log is open
/// and the format is neither null nor empty; otherwise nothing, not even the
/// prefix. No line break is added. vs-enabler flushes after each line,
/// vmware-enabler does not.
void debugLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// A direct log line (no prefix), written only when verbose and the log is
/// open. Not flushed.
void logText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// Why a step of the run failed or was degraded, as one line on standard
/// error: the program's name ("vs-enabler" or "vmware-enabler"), ": ", the
/// formatted text and a line end. Never in the log or on standard output.
/// reportReason writes in every run, for what the log has no word for;
/// reportDryRunReason only in a dry run, which names every failing step.
void reportReason(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void reportDryRunReason(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/// True while the dry run takes the worker's place.
bool dryRunning();

/// Flushes the log stream when verbose and open.
void flushLog();

/// Closes the log stream if it is open; later writes go nowhere.
void closeLogFile();

/// Both entries first make the process independent of what the caller left
/// it (prepareUnattendedProcess).
///
/// The entry of vs-enabler around its worker: accepts the command line (usage
/// status kVsUsage otherwise), writes the banner, opens and announces the log,
/// runs `worker`, writes the "Return code" and closing lines and gives
/// returnCode. Each entry starts from a closed log, verbose false and
/// returnCode 0.
int runVirtualServerFrame(int argc, char** argv, void (*worker)());
/// The entry of vmware-enabler around its worker (usage status kVmwUsage):
/// opens the log silently, writes the banner and gives the worker's result. The
/// worker closes the log.
int runVMwareFrame(int argc, char** argv, int (*worker)());
/// (These two take no administrator's options: every command line is judged
/// the usual way, as the frame tests check it; the programs use the forms
/// below.)

/// What an enabler tells a person who asks, and its dry run. A program that
/// has these also takes the options of admin_options.h: "--help" (and "-h",
/// "-?", "/?") writes `help` to standard output, "--version" the version
/// banner and "<name> release <version>"; both end with status 0 and do not
/// do the job. "--dry-run", with "-v" and "-version" as usual, runs `dryRun`
/// in the worker's place; the frame around it is the same.
struct VirtualServerProgram {
  const char* name;
  const char* help;
  void (*worker)();
  void (*dryRun)();
};
struct VMwareProgram {
  const char* name;
  const char* help;
  int (*worker)();
  int (*dryRun)();
};

/// The two entries with the administrator's options.
int runVirtualServerFrame(int argc, char** argv,
                          const VirtualServerProgram& program);
int runVMwareFrame(int argc, char** argv, const VMwareProgram& program);

#endif
