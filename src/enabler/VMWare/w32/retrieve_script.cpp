// retrieve_script.cpp: the retrieval run, step by step.
#include "retrieve_script.h"

#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/node_identity.h"
#include "enabler/common/processor_record.h"
#include "invscan/scanners/cpuid.h"
#include "registry.h"
#include "script_host.h"

#include <stdlib.h>
#include <string.h>

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
int countPhysicalPackages() {
  int numOfPhysicalPackages = 0;
  CpuIdInfo cpuInfo;
  memset(&cpuInfo, 0, sizeof cpuInfo);
  if (getCpuIdInfo(&cpuInfo) == 0) {
    int systemPackages = getNumberOfPhysicalPackages();
    debugLog("numOfPhysicalPackages= %d\n", systemPackages);
    int numOfProcessors = getNumberOfProcessors();
    debugLog("numOfProcessors= %d\n", numOfProcessors);
    numOfPhysicalPackages = choosePhysicalPackages(
        systemPackages, numOfProcessors, cpuInfo.htLogicalProcessors);
    if (systemPackages < 1) {
      debugLog("numOfPhysicalPackages= %d\n", numOfPhysicalPackages);
      if (numOfPhysicalPackages < 1)
        numOfPhysicalPackages = 1;
    }
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

int runWithPaths(const char* serverPath, const char* vmperlPath) {
  int numOfPhysicalPackages = 0;
  getInfoFromCPUID();
  numOfPhysicalPackages = countPhysicalPackages();
  logText("%s%s%d\n", "OK: Node capacity: ", " ", numOfPhysicalPackages);

  NodeIdentity identity;
  memset(&identity, 0, sizeof identity);
  // The identity's texts are freed on every way out of the run.
  struct IdentityTexts {
    NodeIdentity* identity;
    ~IdentityTexts() { freeNodeIdentity(identity); }
  } texts{&identity};
  if (!getNodeIdentity(&identity))
    return fail("ERROR: Could not retrieve node ID (there is a problem with "
                "WMI)\n",
                kVmwNoIdentity);
  logIdentity(identity);

  std::string shortVmperlPath;
  if (!getShortPath(vmperlPath, &shortVmperlPath))
    return fail("ERROR: Could not retrieve VMPerl library installation path\n",
                kVmwNotInstalled);
  ScriptCommand command =
      composeScriptCommand(shortVmperlPath, identity, numOfPhysicalPackages,
                           verbose && logFile != nullptr);

  std::string searchPathValue;
  bool pathFits = composeSearchPath(currentSearchPath(), vmperlPath, serverPath,
                                    &searchPathValue);
  logText("%s%s\n%s\n%s\n%s\n", "Perl paths and command line:\n", vmperlPath,
          serverPath, command.text.c_str(), searchPathValue.c_str());
  if (!pathFits || !setSearchPath(searchPathValue))
    return fail("ERROR: Could not set VMPerl path in PATH environment "
                "variable\n",
                kVmwNotInstalled);

  // The log is complete and closed before the script runs.
  logText("\n");
  closeLogFile();
  return mapScriptStatus(runScript(command));
}

} // namespace

int runRetrieveScript() {
  char* serverPath = nullptr;
  char* vmperlPath = nullptr;
  bool haveServer = getServerInstallPath(&serverPath);
  bool haveVmPerl = getVmPerlInstallPath(&vmperlPath);
  int status;
  if (!haveServer)
    status = fail(haveVmPerl ? "ERROR: VMware server version not recognized\n"
                             : "ERROR: VMWare not installed\n",
                  kVmwNotInstalled);
  else if (!haveVmPerl)
    status =
        fail("ERROR: VmPerl Scripting API not installed\n", kVmwNotInstalled);
  else
    status = runWithPaths(serverPath, vmperlPath);
  free(serverPath);
  free(vmperlPath);
  return status;
}
