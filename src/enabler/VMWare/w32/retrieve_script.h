// retrieve_script.h: the worker of vmware-enabler. It finds VMware and
// VmPerl, counts the host's physical packages, reads the node identity and
// runs the VmPerl script retrieve.pl with them, mapping its exit status.
#ifndef ENABLER_VMWARE_RETRIEVE_SCRIPT_H
#define ENABLER_VMWARE_RETRIEVE_SCRIPT_H

#include "enabler/common/node_identity.h"
#include "enabler/common/processor_record.h"
#include "invscan/scanners/cpuid.h"
#include "retrieve_command.h"

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

class Registry;

/// The whole job once: the exit status of vmware-enabler (exit_status.h).
/// Writes its log lines in verbose mode and closes the log before it returns
/// or starts the script.
int runRetrieveScript();

/// What the worker takes from outside itself. runRetrieveScript() uses the
/// machine's; tests build their own.
struct RetrieveScriptServices {
  /// The registry the installation lookups read, and the WOW64 question they
  /// ask on their first open.
  Registry* registry;
  std::function<bool()> isWow64;
  /// Where the processor record finds the cpuid program.
  CpuidProgramSite cpuidProgram;
  /// The CPUID readings and the system's counts of the package count.
  ProcessorServices processor;
  /// getNodeIdentity: the identity, and why it or a field of it could not
  /// be read.
  std::function<bool(NodeIdentity*, IdentityProblems*)> nodeIdentity;
  /// The short form of the VmPerl directory, as shortPathName.
  std::function<bool(const char* path, std::string* shortPath,
                     SystemError* error)>
      shortPath;
  /// Runs the interpreter and gives its exit status, as runChildProcess.
  std::function<int(const ScriptCommand& command, SystemError* error)>
      runScript;
};

/// The machine's registry and WOW64 answer, the cpuid program beside the
/// enabler, the processor, WMI (or DMI), GetShortPathNameA and the real start.
RetrieveScriptServices vmwDefaultRetrieveServices();

/// runRetrieveScript() with other services.
int runRetrieveScriptWith(const RetrieveScriptServices& services);

/// What the run would hand to the interpreter, one item a line on `out`:
///   interpreter <path>
///   argument <n> <text>            for each argument after argv[0], n from 1
///   command-line <text>            what CreateProcessA would receive
///   PATH <value>                   the process environment's, as the
///   PHYSICAL_PROCESSOR <value>     interpreter would inherit them; a variable
///                                  that is not set shows "(unset)"
void writeScriptHandOver(FILE* out, const ScriptCommand& command);

/// The machine's services with a runScript that starts nothing: it writes the
/// hand-over to `out`, a line on `notes` for the interpreter or the script
/// when it cannot be found (with the reason), and gives 0. The reason why the
/// cpuid program could not be run goes to `*cpuidError` (when not null).
RetrieveScriptServices vmwDryRunRetrieveServices(FILE* out, FILE* notes,
                                                 SystemError* cpuidError);

/// The dry run of vmware-enabler: every step of a real run up to the start of
/// the interpreter, which it writes to standard output instead (notes and the
/// cpuid program's failure go to standard error). Its status is the one the
/// run would have had with a script that ends with 0.
int runRetrieveScriptDryRun();

#endif
