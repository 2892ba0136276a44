// vs_model_fuzzer.cpp: the simulated Virtual Server's model reader on
// arbitrary model files, and every operation of the adapter on whatever
// server it made: each machine's name, state, capacity and configuration
// values with their conversions to numbers and text, a parameter set, and
// the release of every object, which must leave none alive.
#include "enabler/MSVirtualServer/vs_simulated.h"
#include "fuzz_support.h"

#include <unistd.h>

namespace {

const wchar_t kCapKey[] = L"settings/host/resource_control/cpu/cap";
const wchar_t kProcessorsKey[] =
    L"settings/host/resource_control/cpu/host_processors";

// The conversions the worker and the log make of a value.
void convert(const VsVariant& value) {
  double real;
  int32_t integer;
  std::wstring text;
  value.toReal(&real);
  value.toInt(&integer);
  if (value.toText(&text))
    vsLogText(text);
}

void walkMachine(VsVirtualMachineObject* machine) {
  std::wstring name;
  if (!vsFailed(machine->get_Name(&name)))
    vsLogText(name);
  int32_t state;
  machine->get_State(&state);
  for (const wchar_t* key : {kCapKey, kProcessorsKey, L"", L"State"}) {
    VsVariant value;
    if (!vsFailed(machine->GetConfigurationValue(key, &value)))
      convert(value);
  }
  VsCapacityObject* capacity = nullptr;
  if (!vsFailed(machine->get_CapacityObject(&capacity))) {
    VsVariant value;
    if (!vsFailed(capacity->get_MaxSystemCapacity(&value)))
      convert(value);
    capacity->Release();
  }
  VsGuestParameterObject* parameters = nullptr;
  if (!vsFailed(machine->get_GuestParameterObject(&parameters))) {
    parameters->SetParameter(L"KEP_VM_ID", name);
    parameters->Release();
  }
}

std::string modelPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/vs_model_fuzzer." + std::to_string(getpid());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = modelPath();
  FILE* file = fopen(path.c_str(), "wb");
  if (!file)
    return 0;
  fwrite(data, 1, size, file);
  fclose(file);

  VsVirtualServerObject* server = reinterpret_cast<VsVirtualServerObject*>(1);
  VsResult made = vsCreateSimulatedServer(path.c_str(), nullptr, &server);
  remove(path.c_str());
  if (vsFailed(made)) {
    FUZZ_CHECK(made == kVsClassNotRegistered, std::to_string(made));
    FUZZ_CHECK(server == nullptr, "a server after a failure");
    FUZZ_CHECK(vsSimulatedObjectCount() == 0, "objects without a server");
    return 0;
  }
  std::wstring text;
  server->get_Version(&text);
  server->get_Name(&text);
  server->get_Version(&text);
  VsVirtualMachineCollection* machines = nullptr;
  if (!vsFailed(server->get_VirtualMachines(&machines))) {
    int32_t count = 0;
    if (!vsFailed(machines->get_Count(&count))) {
      FUZZ_CHECK(count >= 0, std::to_string(count));
      for (int32_t i = 0; i <= count + 1; ++i) {
        VsVirtualMachineObject* machine = nullptr;
        VsResult got = machines->get_Item(i, &machine);
        FUZZ_CHECK(vsFailed(got) == (machine == nullptr),
                   "item " + std::to_string(i));
        if (i < 1 || i > count)
          FUZZ_CHECK(vsFailed(got), "item " + std::to_string(i));
        if (machine) {
          walkMachine(machine);
          machine->Release();
        }
      }
    }
    machines->Release();
  }
  server->Release();
  FUZZ_CHECK(vsSimulatedObjectCount() == 0,
             std::to_string(vsSimulatedObjectCount()) + " objects alive");
  return 0;
}
