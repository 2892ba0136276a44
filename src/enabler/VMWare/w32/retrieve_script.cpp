// retrieve_script.cpp: the retrieval run, step by step.
#include "retrieve_script.h"

#include "common/malloc_text.h"
#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "common/platform/system_error.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/node_identity.h"
#include "registry.h"

#include <string.h>

#include <optional>
#include <utility>

namespace {

// Every failure of the run ends it the same way: its line, then the log is
// closed, since nothing may be written after the worker.
int fail(const char* message, int status) {
  logText("%s", message);
  closeLogFile();
  return status;
}

// The system's package count, or where it knows none the processor count
// divided by the probe's; 0 when the processor lacks CPUID, otherwise at
// least 1.
int countPhysicalPackages(const ProcessorServices& processor) {
  int numOfPhysicalPackages = 0;
  CpuIdInfo cpuInfo;
  memset(&cpuInfo, 0, sizeof cpuInfo);
  if (getCpuIdInfo(&cpuInfo, *processor.cpuIdSource) == 0) {
    int systemPackages = processor.packageCount();
    debugLog("numOfPhysicalPackages= %d\n", systemPackages);
    int numOfProcessors = processor.processorCount();
    debugLog("numOfProcessors= %d\n", numOfProcessors);
    numOfPhysicalPackages = choosePhysicalPackages(
        systemPackages, numOfProcessors, cpuInfo.htLogicalProcessors);
    // The division's own line, before it is raised to 1.
    if (systemPackages < 1)
      debugLog("numOfPhysicalPackages= %d\n", numOfPhysicalPackages);
    numOfPhysicalPackages = vmwareNodeCapacity(true, numOfPhysicalPackages);
  }
  debugLog("cpuInfo.numOfCores= %d\n", cpuInfo.numOfCores);
  debugLog("cpuInfo.htLogicalPerCore= %d\n", cpuInfo.htLogicalPerCore);
  debugLog("cpuInfo.htLogicalProcessors= %d\n", cpuInfo.htLogicalProcessors);
  debugLog("numOfPhysicalPackages= %d\n", numOfPhysicalPackages);
  return numOfPhysicalPackages;
}

void logIdentity(const NodeIdentity& identity) {
  ScriptIdentity texts = scriptIdentity(identity);
  logText("%s %s\n\n%s %s\n\n%s %s\n\n%s %s\n\n%s %s\n\n",
          "OK: Node ID: ", texts.nodeId.c_str(),
          "OK: Manufact: ", texts.manufacturer.c_str(),
          "OK: Product: ", texts.product.c_str(),
          "OK: Version: ", texts.version.c_str(),
          "OK: Type: ", texts.type.c_str());
}

int runWithPaths(const RetrieveScriptServices& services, const char* serverPath,
                 const char* vmperlPath) {
  getInfoFromCPUID(services.cpuidProgram);
  int numOfPhysicalPackages = countPhysicalPackages(services.processor);
  logText("%s%s%d\n", "OK: Node capacity: ", " ", numOfPhysicalPackages);

  ScopedNodeIdentity identity;
  IdentityProblems problems;
  bool identified = services.nodeIdentity(identity.get(), &problems);
  for (const std::string& problem : problems)
    reportReason("node identity: %s", problem.c_str());
  if (!identified)
    return fail("ERROR: Could not retrieve node ID (there is a problem with "
                "WMI)\n",
                kVmwNoIdentity);
  logIdentity(*identity);

  std::string shortVmperlPath;
  SystemError shortPathError;
  if (!services.shortPath(vmperlPath, &shortVmperlPath, &shortPathError)) {
    reportDryRunReason("the short form of the VmPerl folder: %s",
                       shortPathError.message().c_str());
    return fail("ERROR: Could not retrieve VMPerl library installation path\n",
                kVmwNotInstalled);
  }
  ScriptCommand command =
      composeScriptCommand(shortVmperlPath, *identity, numOfPhysicalPackages,
                           verbose && logFile != nullptr);

  std::string searchPathValue;
  bool pathFits = composeSearchPath(getEnvironment("PATH").value_or(""),
                                    vmperlPath, serverPath, &searchPathValue);
  logText("%s%s\n%s\n%s\n%s\n", "Perl paths and command line:\n", vmperlPath,
          serverPath, command.commandLine.c_str(), searchPathValue.c_str());
  if (!pathFits || !setEnvironment("PATH", searchPathValue)) {
    reportDryRunReason("the new PATH of %lu characters %s",
                       static_cast<unsigned long>(searchPathValue.size()),
                       pathFits ? "could not be set"
                                : "is longer than an environment variable "
                                  "holds");
    return fail("ERROR: Could not set VMPerl path in PATH environment "
                "variable\n",
                kVmwNotInstalled);
  }

  // The log is complete and closed before the script runs.
  logText("\n");
  closeLogFile();
  SystemError startError;
  int scriptStatus = services.runScript(command, &startError);
  int status = mapScriptStatus(scriptStatus);
  // The run's status hides the script's own; neither is in the log.
  if (dryRunning())
    return status; // nothing was started; the hand-over says why
  if (startError.failed())
    reportReason("%s: %s", kRetrieveScriptName, startError.message().c_str());
  else if (scriptStatus != kVmwOk)
    reportReason("%s ended with status %d%s", kRetrieveScriptName, scriptStatus,
                 status != scriptStatus ? ", reported as 5" : "");
  return status;
}

} // namespace

RetrieveScriptServices vmwDefaultRetrieveServices() {
  RetrieveScriptServices services;
  services.registry = &systemRegistry();
  services.isWow64 = isWow64;
  services.cpuidProgram = defaultCpuidProgramSite();
  services.processor = systemProcessorServices();
  services.nodeIdentity = [](NodeIdentity* identity,
                             IdentityProblems* problems) {
    return getNodeIdentity(identity, problems);
  };
  services.shortPath = shortPathName;
  services.runScript = runChildProcess;
  return services;
}

int runRetrieveScriptWith(const RetrieveScriptServices& services) {
  InstallationRegistry installations(*services.registry, services.isWow64);
  MallocText serverPath, vmperlPath;
  bool haveServer =
      installations.getServerInstallPath(MallocTextOut(&serverPath));
  std::vector<std::string> serverFailures = installations.takeFailures();
  bool haveVmPerl =
      installations.getVmPerlInstallPath(MallocTextOut(&vmperlPath));
  std::vector<std::string> vmperlFailures = installations.takeFailures();
  // Every key and view looked in, for the lookup that ends the run.
  const std::vector<std::string>& failures =
      haveServer ? vmperlFailures : serverFailures;
  if (!haveServer || !haveVmPerl)
    for (const std::string& failure : failures)
      reportDryRunReason("registry: %s", failure.c_str());
  if (!haveServer)
    return fail(haveVmPerl ? "ERROR: VMware server version not recognized\n"
                           : "ERROR: VMWare not installed\n",
                kVmwNotInstalled);
  if (!haveVmPerl)
    return fail("ERROR: VmPerl Scripting API not installed\n",
                kVmwNotInstalled);
  return runWithPaths(services, serverPath.get(), vmperlPath.get());
}

int runRetrieveScript() {
  return runRetrieveScriptWith(vmwDefaultRetrieveServices());
}

void writeScriptHandOver(FILE* out, const ScriptCommand& command) {
  fprintf(out, "interpreter %s\n", command.program.c_str());
  for (size_t i = 1; i < command.arguments.size(); ++i)
    fprintf(out, "argument %lu %s\n", static_cast<unsigned long>(i),
            command.arguments[i].c_str());
  fprintf(out, "command-line %s\n", command.commandLine.c_str());
  for (const char* name : {"PATH", "PHYSICAL_PROCESSOR"}) {
    std::optional<std::string> value = getEnvironment(name);
    fprintf(out, "%s %s\n", name, value ? value->c_str() : "(unset)");
  }
  fflush(out);
}

RetrieveScriptServices vmwDryRunRetrieveServices(FILE* out, FILE* notes,
                                                 SystemError* cpuidError) {
  RetrieveScriptServices services = vmwDefaultRetrieveServices();
  services.cpuidProgram.error = cpuidError;
  auto findFile = services.shortPath;
  services.runScript = [out, notes, findFile](const ScriptCommand& command,
                                              SystemError*) {
    writeScriptHandOver(out, command);
    // A real run would find out only by a status of 5, since the interpreter
    // that cannot start, or cannot open the script, ends the run with it.
    // The script is looked for in the start folder, which for a scheduled
    // task is the system folder unless the task names another.
    const std::string folder = currentDirectory().value_or("(unknown)");
    const std::pair<const char*, std::string> files[] = {
        {"the interpreter", command.program},
        {"the script", kRetrieveScriptName}};
    int status = kVmwOk;
    for (const auto& file : files) {
      std::string found;
      SystemError error;
      if (!findFile(file.second.c_str(), &found, &error)) {
        printDiagnostic(
            notes, "vmware-enabler: %s %s is not there: %s%s%s\n", file.first,
            file.second.c_str(), error.message().c_str(),
            file.second == kRetrieveScriptName
                ? "; looked for in the start folder "
                : "",
            file.second == kRetrieveScriptName ? folder.c_str() : "");
        status = kVmwScriptFailed;
      }
    }
    return status;
  };
  return services;
}

int runRetrieveScriptDryRun() {
  SystemError cpuidError;
  logText("Dry run: retrieve.pl is not run\n");
  int status = runRetrieveScriptWith(
      vmwDryRunRetrieveServices(stdout, stderr, &cpuidError));
  if (cpuidError.failed())
    reportReason("the cpuid program could not be run: %s",
                 cpuidError.message().c_str());
  return status;
}
