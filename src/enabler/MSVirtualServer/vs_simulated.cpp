// vs_simulated.cpp: the simulated Virtual Server: the model file read with the
// enablers' own variable-tree reader, and objects that answer the adapter's
// operations from it. No OS calls here, so the same objects serve natively and
// inside the COM server of the tests.
#include "enabler/MSVirtualServer/vs_simulated.h"

#include "common/platform/files.h"
#include "common/process/child_process.h"
#include "common/vartree/memory_byte_reader.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_problem.h"

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// --- The model ---------------------------------------------------------------

/// A typed value of the model, as its letter gave it.
struct ModelValue {
  char letter = 0; ///< 'f', 'i' or 's'
  double real = 0.0;
  int32_t integer = 0;
  std::string text; ///< UTF-8

  VsVariant variant() const {
    if (letter == 'f')
      return VsVariant::fromReal(real);
    if (letter == 'i')
      return VsVariant::fromInt(integer);
    return VsVariant::fromText(vsWideFromUtf8(text));
  }
};

struct ModelMachine {
  std::string name; ///< UTF-8
  int32_t state = 0;
  bool hasMaxSystemCapacity = false;
  ModelValue maxSystemCapacity;
  std::map<std::string, ModelValue> configuration;
  std::set<std::string> fails;
};

struct Model {
  std::string name;
  std::string version;
  std::set<std::string> fails;
  std::vector<ModelMachine> machines;
};

/// `value` when it has a letter the model uses.
bool modelValue(const VtValue* value, ModelValue* out) {
  switch (value->kind) {
  case VtReal:
    out->letter = 'f';
    out->real = value->payload.f;
    return true;
  case VtInt:
    out->letter = 'i';
    out->integer = value->payload.i;
    return true;
  case VtString:
    out->letter = 's';
    out->text = value->payload.s ? value->payload.s : "";
    return true;
  default:
    return false;
  }
}

/// The value of `name` in `group` when it has a letter the model uses.
bool readModelValue(const VtNode* group, const char* name, ModelValue* out) {
  const VtValue* value = vtNodeFindValue(group, name);
  return value && modelValue(value, out);
}

std::string modelString(const VtNode* group, const char* name) {
  ModelValue value;
  if (readModelValue(group, name, &value) && value.letter == 's')
    return value.text;
  return std::string();
}

std::set<std::string> failList(const VtNode* group) {
  std::set<std::string> fails;
  std::string list = modelString(group, "Fail");
  size_t at = 0;
  while (at < list.size()) {
    size_t start = list.find_first_not_of(" \t", at);
    if (start == std::string::npos)
      break;
    size_t end = list.find_first_of(" \t", start);
    if (end == std::string::npos)
      end = list.size();
    fails.insert(list.substr(start, end - start));
    at = end;
  }
  return fails;
}

ModelMachine readMachine(const VtNode* group) {
  ModelMachine machine;
  machine.name = modelString(group, "Name");
  ModelValue state;
  if (readModelValue(group, "State", &state) && state.letter == 'i')
    machine.state = state.integer;
  machine.hasMaxSystemCapacity =
      readModelValue(group, "MaxSystemCapacity", &machine.maxSystemCapacity);
  // The group's names are unique, so each value is taken as the walk meets
  // it: looking each one up by name would walk the group again per value.
  if (const VtNode* configuration =
          vtNodeFindChild(group, "configuration", 0)) {
    for (const VtValue* value = configuration->values; value;
         value = value->next) {
      ModelValue entry;
      if (modelValue(value, &entry))
        machine.configuration.emplace(value->name, entry);
    }
  }
  machine.fails = failList(group);
  return machine;
}

bool readModel(const char* path, Model* model) {
  std::string text;
  if (!path || !readRegularFile(path, kVsModelMaxBytes, &text))
    return false;
  VtDocument* document = vtReadDocumentFromMemory(text.data(), text.size());
  // The text goes before the model grows beside the document.
  std::string().swap(text);
  bool accepted = document && document->status >= 0 && document->root;
  if (accepted) {
    VtNode* server = document->root;
    model->name = modelString(server, "Name");
    model->version = modelString(server, "Version");
    model->fails = failList(server);
    // One walk over the server's children, in order: looking up the i-th
    // machine by name would walk them all again for every machine. The
    // document's groups lie in its blocks, which go all at once with it.
    size_t machines = 0;
    for (const VtNode* child = server->children; child; child = child->next)
      machines += strcmp(child->name, "machine") == 0;
    model->machines.reserve(machines);
    for (const VtNode* child = server->children; child; child = child->next) {
      if (strcmp(child->name, "machine") == 0)
        model->machines.push_back(readMachine(child));
    }
  }
  vtFreeDocument(document);
  return accepted;
}

// --- The objects -------------------------------------------------------------

std::atomic<int> liveObjects{0};

/// What every object of one server shares.
struct Server {
  Server() = default;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() {
    if (record)
      fclose(record);
  }

  Model model;
  std::string recordPath; ///< empty: nothing recorded
  bool hasRecord = false;
  /// The record, opened for appending at the first parameter set and kept
  /// open: opening and closing it for every parameter cost more than the
  /// rest of the enabler's work on a machine.
  FILE* record = nullptr;
  int versionReads = 0;
};

/// One reference per object: every operation that hands out an object makes
/// a new one, so Release always ends it.
template <class Interface> class Simulated : public Interface {
public:
  explicit Simulated(std::shared_ptr<Server> server)
      : server_(std::move(server)) {
    ++liveObjects;
  }
  ~Simulated() override { --liveObjects; }
  unsigned long Release() override {
    delete this;
    return 0;
  }

protected:
  std::shared_ptr<Server> server_;
};

bool fails(const std::set<std::string>& list, const std::string& operation) {
  return list.count(operation) != 0;
}

/// Operations of one machine; the machine's index counts from 0.
template <class Interface> class MachinePart : public Simulated<Interface> {
public:
  MachinePart(std::shared_ptr<Server> server, size_t index)
      : Simulated<Interface>(std::move(server)), index_(index) {}

protected:
  const ModelMachine& machine() const {
    return this->server_->model.machines[index_];
  }
  bool machineFails(const std::string& operation) const {
    return fails(machine().fails, operation);
  }
  size_t index_;
};

class SimGuestParameters : public MachinePart<VsGuestParameterObject> {
public:
  using MachinePart::MachinePart;
  VsResult SetParameter(const std::wstring& name,
                        const std::wstring& value) override {
    std::string narrowName = vsUtf8FromWide(name);
    if (machineFails("SetParameter") ||
        machineFails("SetParameter:" + narrowName))
      return kVsFail;
    if (!server_->hasRecord)
      return kVsResultOk;
    std::string line = machine().name + "\t" + narrowName + "\t" +
                       vsUtf8FromWide(value) + "\n";
    FILE*& record = server_->record;
    if (!record)
      record = openForAppending(server_->recordPath);
    if (!record)
      return kVsFail;
    // Each line reaches the file before the call returns, as it did when
    // every call closed the file.
    bool written = fwrite(line.data(), 1, line.size(), record) == line.size();
    return fflush(record) == 0 && written ? kVsResultOk : kVsFail;
  }
};

class SimCapacity : public MachinePart<VsCapacityObject> {
public:
  using MachinePart::MachinePart;
  VsResult get_MaxSystemCapacity(VsVariant* capacity) override {
    if (!machine().hasMaxSystemCapacity)
      return kVsFail;
    *capacity = machine().maxSystemCapacity.variant();
    return kVsResultOk;
  }
};

class SimMachine : public MachinePart<VsVirtualMachineObject> {
public:
  using MachinePart::MachinePart;
  VsResult get_Name(std::wstring* name) override {
    if (machineFails("get_Name"))
      return kVsFail;
    *name = vsWideFromUtf8(machine().name);
    return kVsResultOk;
  }
  VsResult get_CapacityObject(VsCapacityObject** capacity) override {
    *capacity = nullptr;
    if (machineFails("get_CapacityObject"))
      return kVsFail;
    *capacity = new SimCapacity(server_, index_);
    return kVsResultOk;
  }
  VsResult
  get_GuestParameterObject(VsGuestParameterObject** parameters) override {
    *parameters = nullptr;
    if (machineFails("get_GuestParameterObject"))
      return kVsFail;
    *parameters = new SimGuestParameters(server_, index_);
    return kVsResultOk;
  }
  VsResult get_State(int32_t* state) override {
    if (machineFails("get_State"))
      return kVsFail;
    *state = machine().state;
    return kVsResultOk;
  }
  VsResult GetConfigurationValue(const std::wstring& key,
                                 VsVariant* value) override {
    auto found = machine().configuration.find(vsUtf8FromWide(key));
    if (found == machine().configuration.end())
      return kVsFail;
    *value = found->second.variant();
    return kVsResultOk;
  }
};

class SimCollection : public Simulated<VsVirtualMachineCollection> {
public:
  using Simulated::Simulated;
  VsResult get_Count(int32_t* count) override {
    if (fails(server_->model.fails, "get_Count"))
      return kVsFail;
    *count = static_cast<int32_t>(server_->model.machines.size());
    return kVsResultOk;
  }
  VsResult get_Item(int32_t index, VsVirtualMachineObject** machine) override {
    *machine = nullptr;
    const std::vector<ModelMachine>& machines = server_->model.machines;
    if (index < 1 || static_cast<size_t>(index) > machines.size())
      return kVsInvalidArg;
    size_t at = static_cast<size_t>(index) - 1;
    if (fails(machines[at].fails, "get_Item"))
      return kVsFail;
    *machine = new SimMachine(server_, at);
    return kVsResultOk;
  }
};

class SimServer : public Simulated<VsVirtualServerObject> {
public:
  using Simulated::Simulated;
  VsResult get_VirtualMachines(VsVirtualMachineCollection** machines) override {
    *machines = nullptr;
    if (fails(server_->model.fails, "get_VirtualMachines"))
      return kVsFail;
    *machines = new SimCollection(server_);
    return kVsResultOk;
  }
  VsResult get_Name(std::wstring* name) override {
    if (fails(server_->model.fails, "get_Name"))
      return kVsFail;
    *name = vsWideFromUtf8(server_->model.name);
    return kVsResultOk;
  }
  VsResult get_Version(std::wstring* version) override {
    // The first read is the one that proves the connection.
    bool first = server_->versionReads++ == 0;
    if (fails(server_->model.fails, first ? "connect" : "get_Version"))
      return kVsFail;
    *version = vsWideFromUtf8(server_->model.version);
    return kVsResultOk;
  }
};

} // namespace

VsResult vsCreateSimulatedServer(const char* modelPath, const char* recordPath,
                                 VsVirtualServerObject** server) {
  *server = nullptr;
  auto state = std::make_shared<Server>();
  if (!readModel(modelPath, &state->model))
    return kVsClassNotRegistered;
  if (recordPath) {
    state->hasRecord = true;
    state->recordPath = recordPath;
  }
  *server = new SimServer(std::move(state));
  return kVsResultOk;
}

std::string vsModelProblem(const char* modelPath) {
  if (!modelPath)
    return std::string();
  std::string text;
  SystemError error;
  if (!readRegularFile(modelPath, kVsModelMaxBytes, &text, &error))
    return "the model cannot be read: " + error.message();
  VtReadProblem problem;
  if (!vtFindReadProblem(text, &problem))
    return std::string();
  std::string where = modelPath;
  if (problem.line > 0)
    where += ":" + std::to_string(problem.line);
  return where + ": " + problem.reason;
}

int vsSimulatedObjectCount() {
  return liveObjects.load();
}

void vsRecordLeakedObjects(const char* recordPath) {
  int count = liveObjects.load();
  if (count == 0 || !recordPath)
    return;
  if (FILE* record = openForAppending(recordPath)) {
    fprintf(record, "!leaked\t%d\n", count);
    fclose(record);
  }
}
