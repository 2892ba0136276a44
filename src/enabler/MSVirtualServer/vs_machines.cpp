// vs_machines.cpp: one machine's turn in vs-enabler's worker: its name,
// state and settings, and the parameters a running machine gets.
#include "common/platform/system_error.h"
#include "enabler/MSVirtualServer/vs_publish_internal.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "invscan/scanners/cpuid.h"

#include <string.h>

#include <string>

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

// --- One machine -------------------------------------------------------------

/// The failure line of a parameter, the same whichever step failed: the set,
/// the value's text, or for the node capacity the processor probe.
void logParameterFailure(const Parameter& parameter) {
  logText("ERROR: Failure during %s set\n", parameter.label);
}

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
    logParameterFailure(parameter);
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
    logText("OK: Parameter %s set with value '%s'\n", parameter.label, shown);
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
  logParameterFailure(parameter);
  returnCode = kVsSetFailed;
  return false;
}

/// A machine's call that failed, named in the dry run: the log has no line
/// for it. False, so that the caller can give it back.
bool explainMachineCall(int32_t index, const char* call, VsResult result) {
  reportDryRunReason(
      "Virtual Server: machine %d: %s failed with %s; the walk "
      "stops here",
      static_cast<int>(index), call,
      resultCodeText(vsFailed(result) ? result : kVsFail).c_str());
  return false;
}

/// Gets the machine, its name and state; false stops the walk.
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
    logParameterFailure(kNodeCapacity);
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

} // namespace

void walkMachines(Run& run) {
  for (int32_t index = 1; index <= run.count; ++index) {
    if (!visitMachine(run, index))
      break;
  }
}
