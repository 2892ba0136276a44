// vs_publish.cpp: the worker of vs-enabler: one pass of connect, read the
// server, read the host once, walk the machines, disconnect. Every line goes
// straight to the log; every failure overwrites returnCode.
#include "enabler/MSVirtualServer/vs_publish.h"

#include "common/malloc_text.h"
#include "common/platform/system_error.h"
#include "common/platform/ref_holder.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/node_identity.h"
#include "enabler/common/processor_record.h"
#include "invscan/scanners/cpuid.h"

#include <stdlib.h>
#include <string.h>

#include <optional>
#include <string>
#include <utility>

namespace {

/// Names of the machine states, by the number get_State gives.
const char* const kVmStateName[] = {
    "Invalid",     "Turned Off",     "Saved",           "Turning On",
    "Restoring",   "Running",        "Paused",          "Saving",
    "Turning Off", "Merging Drives", "Deleting Machine"};
constexpr int32_t kLastVmState = 10;
static_assert(sizeof kVmStateName / sizeof kVmStateName[0] == kLastVmState + 1,
              "one name per state");

constexpr const char* kCapKey = "settings/host/resource_control/cpu/cap";
constexpr const char* kHostProcessorsKey =
    "settings/host/resource_control/cpu/host_processors";

/// A parameter of the guest with its two log lines and the label they use;
/// the success line shows the value set as text.
struct Parameter {
  const char* name;
  const char* label;
  const char* setLine;
  const char* failLine;
};

const Parameter kNodeId = {"KEP_NODE_ID", "KEP_NODE_ID",
                           "OK: Parameter KEP_NODE_ID set with value '%s'\n",
                           "ERROR: Failure during KEP_NODE_ID set\n"};
const Parameter kHostProduct = {
    "KEP_HOST_PRODUCT", "KEP_HOST_PROD",
    "OK: Parameter KEP_HOST_PROD set with value '%s'\n",
    "ERROR: Failure during KEP_HOST_PROD set\n"};
const Parameter kHostManufacturer = {
    "KEP_HOST_MANUFACTURER", "KEP_HOST_MAN",
    "OK: Parameter KEP_HOST_MAN set with value '%s'\n",
    "ERROR: Failure during KEP_HOST_MAN set\n"};
const Parameter kHostVersion = {
    "KEP_HOST_VERSION", "KEP_HOST_VERS",
    "OK: Parameter KEP_HOST_VERS set with value '%s'\n",
    "ERROR: Failure during KEP_HOST_VERS set\n"};
const Parameter kHostType = {
    "KEP_HOST_TYPE", "KEP_HOST_TYPE",
    "OK: Parameter KEP_HOST_TYPE set with value '%s'\n",
    "ERROR: Failure during KEP_HOST_TYPE set\n"};
// Its success line shows the package count itself, not the byte sent.
const Parameter kNodeCapacity = {
    "KEP_NODE_CAPACITY", "KEP_NODE_CAPACITY",
    "OK: Parameter KEP_NODE_CAPACITY set with value '%s'\n",
    "ERROR: Failure during KEP_NODE_CAPACITY set\n"};
const Parameter kVmId = {"KEP_VM_ID", "KEP_VM_ID",
                         "OK: Parameter KEP_VM_ID set with value '%s'\n",
                         "ERROR: Failure during KEP_VM_ID set\n"};
const Parameter kVmCapacity = {
    "KEP_VM_CAPACITY", "KEP_VM_CAPACITY",
    "OK: Parameter KEP_VM_CAPACITY set with value '%s'\n",
    "ERROR: Failure during KEP_VM_CAPACITY set\n"};
const Parameter kPhysicalProcessor = {
    "KEP_PHYSICAL_PROCESSOR", "KEP_PHYSICAL_PROCESSOR",
    "OK: Parameter KEP_PHYSICAL_PROCESSOR set with value '%s'\n",
    "ERROR: Failure during KEP_PHYSICAL_PROCESSOR set\n"};

/// What one run holds from the connection to the end.
struct Run {
  explicit Run(const VsPublishServices& s) : services(s) {}

  const VsPublishServices& services;
  VsVirtualServerObject* server = nullptr; ///< given back by disconnect
  RefHolder<VsVirtualMachineCollection> machines;
  int32_t count = 0;
  ScopedNodeIdentity identity;
  MallocText record;
  int hostPackageCount = -1;
  /// The system's package count, asked at the first running machine: the
  /// host's packages do not change under a run, and the question reads a
  /// dozen files natively.
  std::optional<int> systemPackages;
};

/// What one machine's turn holds; its objects are released when it ends.
struct Machine {
  RefHolder<VsVirtualMachineObject> object;
  RefHolder<VsCapacityObject> capacity;
  RefHolder<VsGuestParameterObject> parameters;
  std::wstring name;
  bool running = false;
  double maxVmCap = -1.0;
  int32_t hostCpuCount = -1;
  double maxSysCap = -1.0;
  int numOfPhysicalPackages = 0;
};

const char* vmStateName(int32_t state) {
  if (state < 0 || state > kLastVmState)
    state = 0;
  return kVmStateName[state];
}

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
  run.services.processorRecord(MallocTextOut(&run.record),
                               &run.hostPackageCount);
  logText("hostPackageCount=%d\n", run.hostPackageCount);
}

// --- One machine -------------------------------------------------------------

/// Sets one parameter, or in a dry run hands it to the sink; on failure
/// writes its failure line and records the status. True when it was set.
bool setParameter(const Run& run, Machine& machine, const Parameter& parameter,
                  const std::wstring& value) {
  if (run.services.parameterSink) {
    run.services.parameterSink(machine.name, parameter.name, value);
    return true;
  }
  if (vsFailed(machine.parameters->SetParameter(vsWideText(parameter.name),
                                                value))) {
    logText("%s", parameter.failLine);
    returnCode = kVsSetFailed;
    return false;
  }
  return true;
}

/// The success line of a parameter, `shown` being its value as the log shows
/// it. A dry run set nothing, and its log must not say otherwise.
void logParameterSet(const Run& run, const Parameter& parameter,
                     const char* shown) {
  if (run.services.parameterSink)
    logText("Dry run: Parameter %s would be set with value '%s'\n",
            parameter.label, shown);
  else
    logText(parameter.setLine, shown);
}

/// Sets a parameter whose value is a narrow text of the enabler; null is sent
/// and shown as the empty text.
void setTextParameter(const Run& run, Machine& machine,
                      const Parameter& parameter, const char* value) {
  if (setParameter(run, machine, parameter, vsWideText(value)))
    logParameterSet(run, parameter, value ? value : "");
}

/// A number as parameter text, the way OLE Automation writes it. A number that
/// cannot be written counts as a failed set.
bool numberText(const VsVariant& number, const Parameter& parameter,
                std::wstring* text) {
  if (number.toText(text))
    return true;
  logText("%s", parameter.failLine);
  returnCode = kVsSetFailed;
  return false;
}

/// Gets the machine, its name and state; false stops the walk.
/// A machine's call that failed, named in the dry run: the log has no line
/// for it. False, so that the caller can give it back.
bool explainMachineCall(int32_t index, const char* call, VsResult result) {
  reportDryRunReason("Virtual Server: machine %d: %s failed with %s; the walk "
                     "stops here",
                     static_cast<int>(index), call,
                     resultCodeText(vsFailed(result) ? result : kVsFail)
                         .c_str());
  return false;
}

bool obtainMachine(Run& run, int32_t index, Machine& machine) {
  int32_t state = 0;
  VsResult result = run.machines->get_Item(index, machine.object.put());
  if (vsFailed(result) || !machine.object)
    return explainMachineCall(index, "get_Item", result);
  if (vsFailed(result = machine.object->get_Name(&machine.name)))
    return explainMachineCall(index, "get_Name", result);
  if (vsFailed(result = machine.object->get_State(&state)))
    return explainMachineCall(index, "get_State", result);
  const char* stateName = vmStateName(state);
  logText("\n>> %s: %s\n", vsLogText(machine.name).c_str(), stateName);
  machine.running = strcmp(stateName, "Running") == 0;
  if (!machine.running)
    logText("OK: Exiting\n");
  return true;
}

/// Gets the machine's capacity and guest parameter objects; false stops the
/// walk.
bool obtainMachineObjects(int32_t index, Machine& machine) {
  VsResult result = machine.object->get_CapacityObject(machine.capacity.put());
  if (vsFailed(result) || !machine.capacity)
    return explainMachineCall(index, "get_CapacityObject", result);
  result = machine.object->get_GuestParameterObject(machine.parameters.put());
  if (vsFailed(result) || !machine.parameters)
    return explainMachineCall(index, "get_GuestParameterObject", result);
  return true;
}

/// The cap, the host processors and the maximum system capacity. A value of
/// another type than expected is converted first; one that does not convert
/// counts as not read.
void readCapacitySettings(Machine& machine) {
  VsVariant value;
  double real = 0.0;
  if (!vsFailed(
          machine.object->GetConfigurationValue(vsWideText(kCapKey), &value)) &&
      value.toReal(&real)) {
    machine.maxVmCap = real;
    logText("max_vm_cap=%f\n", machine.maxVmCap);
  } else {
    logText("ERROR: failure retrieving max vm capacity\n");
    returnCode = kVsCapacityUnread;
  }

  value = VsVariant();
  int32_t integer = 0;
  if (!vsFailed(machine.object->GetConfigurationValue(
          vsWideText(kHostProcessorsKey), &value)) &&
      value.toInt(&integer)) {
    machine.hostCpuCount = integer;
    logText("host_cpu_count=%d\n", machine.hostCpuCount);
  } else {
    logText("ERROR: failure retrieving host cpu count\n");
  }

  value = VsVariant();
  if (!vsFailed(machine.capacity->get_MaxSystemCapacity(&value)) &&
      value.toReal(&real)) {
    machine.maxSysCap = real;
    logText("max_sys_cap=%f\n", machine.maxSysCap);
  } else {
    logText("ERROR: failure retrieving max system capacity\n");
  }
}

void setIdentityParameters(Run& run, Machine& machine) {
  const NodeIdentity& identity = *run.identity;
  setTextParameter(run, machine, kNodeId, identity.nodeId);
  setTextParameter(run, machine, kHostProduct, identity.product);
  setTextParameter(run, machine, kHostManufacturer, identity.manufacturer);
  setTextParameter(run, machine, kHostVersion, identity.version);
  setTextParameter(run, machine, kHostType,
                   identity.type && *identity.type ? identity.type : "-");
}

/// Probes the processor, counts the host's packages and sets them.
void setNodeCapacity(Run& run, Machine& machine) {
  const ProcessorServices& processor = run.services.processor;
  CpuIdInfo info = {};
  bool probed = getCpuIdInfo(&info, *processor.cpuIdSource) == 0;
  if (!probed) {
    logText("%s", kNodeCapacity.failLine);
    returnCode = kVsSetFailed;
  }
  logText("cores %d\n", info.numOfCores);
  logText("ht per core %d\n", info.htLogicalPerCore);
  logText("ht processors %d\n", info.htLogicalProcessors);
  int numOfProcessors = processor.processorCount();
  logText("numOfProcessors=%d\n", numOfProcessors);
  // The system's package count where it knows one. Without CPUID the
  // system is not asked: the division by the probe's initial record (one
  // logical processor per package) stands.
  if (probed && !run.systemPackages)
    run.systemPackages = processor.packageCount();
  int systemPackages = probed ? *run.systemPackages : 0;
  machine.numOfPhysicalPackages = choosePhysicalPackages(
      systemPackages, numOfProcessors, info.htLogicalProcessors);
  logText("numOfPhysicalPackages=%d\n", machine.numOfPhysicalPackages);
  if (machine.numOfPhysicalPackages == 0)
    returnCode = kVsZeroCapacity;

  std::wstring text;
  VsVariant packages = VsVariant::fromByte(
      static_cast<uint8_t>(machine.numOfPhysicalPackages & 0xFF));
  if (numberText(packages, kNodeCapacity, &text) &&
      setParameter(run, machine, kNodeCapacity, text))
    logParameterSet(run, kNodeCapacity,
                    std::to_string(machine.numOfPhysicalPackages).c_str());
}

void setMachineName(Run& run, Machine& machine) {
  if (setParameter(run, machine, kVmId, machine.name))
    logParameterSet(run, kVmId, vsLogText(machine.name).c_str());
}

/// The machine's capacity: its cap times its host processors, or else its
/// maximum system capacity times the host's packages. Those are the cpuid
/// program's count, or the probe's count when the program gave none; with
/// neither the machine gets no capacity.
void setMachineCapacity(Run& run, Machine& machine) {
  double capacity = 0.0;
  if (machine.maxVmCap > 0.0 && machine.hostCpuCount > 0) {
    capacity = machine.hostCpuCount * machine.maxVmCap;
    logText("Setting %s with max_vm_cap=%f\n", kVmCapacity.name, capacity);
  } else if (machine.maxSysCap > 0.0) {
    int packages = run.hostPackageCount >= 1 ? run.hostPackageCount
                                             : machine.numOfPhysicalPackages;
    if (packages < 1)
      return;
    capacity = packages * machine.maxSysCap;
    logText("Setting %s with max_sys_cap=%f\n", kVmCapacity.name, capacity);
  } else {
    return;
  }
  std::wstring text;
  if (numberText(VsVariant::fromReal(capacity), kVmCapacity, &text) &&
      setParameter(run, machine, kVmCapacity, text))
    logParameterSet(run, kVmCapacity, vsLogText(text).c_str());
}

/// One machine's turn; false stops the walk.
bool visitMachine(Run& run, int32_t index) {
  Machine machine;
  if (!obtainMachine(run, index, machine) ||
      !obtainMachineObjects(index, machine))
    return false;
  readCapacitySettings(machine);
  if (!machine.running)
    return true;
  setIdentityParameters(run, machine);
  setNodeCapacity(run, machine);
  setMachineName(run, machine);
  setMachineCapacity(run, machine);
  if (run.record)
    setTextParameter(run, machine, kPhysicalProcessor, run.record.get());
  return true;
}

void walkMachines(Run& run) {
  for (int32_t index = 1; index <= run.count; ++index) {
    if (!visitMachine(run, index))
      break;
  }
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
  services.processorRecord = [](char** record, int* packageCount) {
    return getInfoFromCPUID(record, packageCount);
  };
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
  services.processorRecord = [cpuidError](char** record, int* packageCount) {
    CpuidProgramSite site = defaultCpuidProgramSite();
    site.error = cpuidError;
    return getInfoFromCPUID(record, packageCount, site);
  };
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
