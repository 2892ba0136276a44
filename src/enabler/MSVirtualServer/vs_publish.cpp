// vs_publish.cpp: the worker of vs-enabler: one pass of connect, read the
// server, read the host once, walk the machines (vs_machines.cpp),
// disconnect. Every line goes straight to the log; every failure overwrites
// returnCode.
#include "enabler/MSVirtualServer/vs_publish.h"

#include "common/platform/system_error.h"
#include "enabler/MSVirtualServer/vs_publish_internal.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/processor_record.h"

#include <string>
#include <utility>

namespace {

/// Gives the server back: releases it and ends the use of COM.
void disconnect(Run& run) {
  run.machines.reset();
  if (run.server)
    run.services.disconnect(run.server);
  run.server = nullptr;
}

// --- Start -------------------------------------------------------------------

/// What a failed call of Virtual Server most likely means, for the codes an
/// administrator meets; empty for the others.
const char* connectionHint(VsResult result) {
  switch (static_cast<uint32_t>(result)) {
  case 0x80040154u: // REGDB_E_CLASSNOTREG
    return ": Virtual Server is not installed";
  case 0x80070005u: // E_ACCESSDENIED
    return ": the account may not use Virtual Server; run as an administrator";
  case 0x80080005u: // CO_E_SERVER_EXEC_FAILURE
  case 0x800706BAu: // RPC_S_SERVER_UNAVAILABLE
    return ": the Virtual Server service is not running";
  default:
    return "";
  }
}

/// The reason for a failed call on the connection, in every run: the log
/// says only that the step failed.
void explainConnection(const char* call, VsResult result) {
  reportReason("Virtual Server: %s failed with %s%s", call,
               resultCodeText(result).c_str(), connectionHint(result));
}

/// Connects and logs the server's name and version; false ends the run.
bool connectServer(Run& run) {
  VsResult result = run.services.connect(nullptr, &run.server);
  if (vsFailed(result) || !run.server) {
    explainConnection("connecting", vsFailed(result) ? result : kVsFail);
    logText("ERROR: Microsoft Virtual Server not installed!\n");
    returnCode = kVsNotReachable;
    return false;
  }
  std::wstring name, version;
  if (vsFailed(result = run.server->get_Name(&name))) {
    explainConnection("get_Name", result);
    logText("ERROR: Error in get_Name\n");
    returnCode = kVsNotReachable;
    return false;
  }
  if (vsFailed(result = run.server->get_Version(&version))) {
    explainConnection("get_Version", result);
    logText("ERROR: Error in get_Version\n");
    returnCode = kVsNotReachable;
    return false;
  }
  logText("\n%s version %s\n", vsLogText(name).c_str(),
          vsLogText(version).c_str());
  return true;
}

/// Reads the collection and its count; false ends the run.
bool readMachineList(Run& run) {
  VsResult result = run.server->get_VirtualMachines(run.machines.put());
  if (!vsFailed(result) && run.machines)
    result = run.machines->get_Count(&run.count);
  if (vsFailed(result) || !run.machines) {
    // The log has no line for this step.
    reportReason("Virtual Server: reading the list of virtual machines "
                 "failed with %s",
                 resultCodeText(vsFailed(result) ? result : kVsFail).c_str());
    returnCode = kVsNoMachineList;
    return false;
  }
  if (run.count < 1) {
    logText("ERROR: >> No virtual machines configured for this server\n");
    return false;
  }
  return true;
}

/// The node identity and the processor record, once per run. Neither result
/// is acted on: what they did not fill stays absent.
void readHost(Run& run) {
  IdentityProblems problems;
  run.services.nodeIdentity(run.identity.get(), &problems);
  for (const std::string& problem : problems)
    reportReason("node identity: %s", problem.c_str());
  // Absent texts are published empty (the type as "-"), which the log shows
  // only as an empty value.
  const NodeIdentity& identity = *run.identity;
  std::string empty;
  for (const auto& field :
       {std::make_pair(identity.nodeId, kNodeId.label),
        std::make_pair(identity.product, kHostProduct.label),
        std::make_pair(identity.manufacturer, kHostManufacturer.label),
        std::make_pair(identity.version, kHostVersion.label)})
    if (!field.first)
      empty += std::string(empty.empty() ? "" : ", ") + field.second;
  if (!empty.empty())
    reportReason("node identity: %s empty: %s",
                 dryRunning() ? "would be published" : "published",
                 empty.c_str());
  getInfoFromCPUID(MallocTextOut(&run.record), &run.hostPackageCount,
                   run.services.cpuidProgram);
  logText("hostPackageCount=%d\n", run.hostPackageCount);
}

} // namespace

VsPublishServices vsDefaultPublishServices() {
  VsPublishServices services;
  services.connect = vsConnect;
  services.disconnect = vsDisconnect;
  services.nodeIdentity = [](NodeIdentity* identity,
                             IdentityProblems* problems) {
    return getNodeIdentity(identity, problems);
  };
  services.cpuidProgram = defaultCpuidProgramSite();
  services.processor = systemProcessorServices();
  return services;
}

void publishParametersWith(const VsPublishServices& services) {
  Run run(services);
  if (connectServer(run) && readMachineList(run)) {
    readHost(run);
    walkMachines(run);
  }
  disconnect(run);
}

void publishParameters() {
  publishParametersWith(vsDefaultPublishServices());
}

VsPublishServices vsDryRunPublishServices(FILE* out, SystemError* cpuidError) {
  VsPublishServices services = vsDefaultPublishServices();
  services.cpuidProgram.error = cpuidError;
  services.parameterSink = [out](const std::wstring& machine, const char* name,
                                 const std::wstring& value) {
    fprintf(out, "%s\t%s\t%s\n", vsLogText(machine).c_str(), name,
            vsLogText(value).c_str());
    fflush(out);
  };
  return services;
}

void publishParametersDryRun() {
  SystemError cpuidError;
  logText("Dry run: no parameter is set\n");
  publishParametersWith(vsDryRunPublishServices(stdout, &cpuidError));
  if (cpuidError.failed())
    reportReason("the cpuid program could not be run: %s",
                 cpuidError.message().c_str());
}
