// vs_worker_hostile_test.cpp: the vs-enabler worker against a Virtual Server
// that answers with what no model file can carry: a machine name of a
// megabyte, names full of format directives and control characters, states
// and capacities at the ends of their ranges, and values of unexpected types.
// The worker must publish such names unchanged, log them verbatim, end with
// the status its rules give, and release every object.
#include "enabler/MSVirtualServer/vs_host_test.h"
#include "enabler/MSVirtualServer/vs_publish.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/frame.h"
#include "enabler/common/run_log_test.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <math.h>

#include <limits>
#include <string>
#include <vector>

namespace {

/// One machine as the fake server answers for it.
struct FakeMachine {
  std::wstring name;
  int32_t state = 5;
  bool hasCap = true;
  VsVariant (*cap)() = [] { return VsVariant::fromReal(25); };
  VsVariant (*processors)() = [] { return VsVariant::fromInt(4); };
  VsVariant (*maxSystem)() = [] { return VsVariant::fromReal(50); };
};

struct SetCall {
  std::wstring machine;
  std::wstring name;
  std::wstring value;
};

std::vector<FakeMachine> machines;
std::vector<SetCall> calls;
int liveObjects = 0;

template <class Interface> class Counted : public Interface {
public:
  Counted() { ++liveObjects; }
  ~Counted() override { --liveObjects; }
  unsigned long Release() override {
    delete this;
    return 0;
  }
};

class FakeParameters : public Counted<VsGuestParameterObject> {
public:
  explicit FakeParameters(size_t index) : index_(index) {}
  VsResult SetParameter(const std::wstring& name,
                        const std::wstring& value) override {
    calls.push_back({machines[index_].name, name, value});
    return kVsResultOk;
  }

private:
  size_t index_;
};

class FakeCapacity : public Counted<VsCapacityObject> {
public:
  explicit FakeCapacity(size_t index) : index_(index) {}
  VsResult get_MaxSystemCapacity(VsVariant* capacity) override {
    *capacity = machines[index_].maxSystem();
    return kVsResultOk;
  }

private:
  size_t index_;
};

class FakeMachineObject : public Counted<VsVirtualMachineObject> {
public:
  explicit FakeMachineObject(size_t index) : index_(index) {}
  VsResult get_Name(std::wstring* name) override {
    *name = machines[index_].name;
    return kVsResultOk;
  }
  VsResult get_CapacityObject(VsCapacityObject** capacity) override {
    *capacity = new FakeCapacity(index_);
    return kVsResultOk;
  }
  VsResult
  get_GuestParameterObject(VsGuestParameterObject** parameters) override {
    *parameters = new FakeParameters(index_);
    return kVsResultOk;
  }
  VsResult get_State(int32_t* state) override {
    *state = machines[index_].state;
    return kVsResultOk;
  }
  VsResult GetConfigurationValue(const std::wstring& key,
                                 VsVariant* value) override {
    const FakeMachine& m = machines[index_];
    if (key == L"settings/host/resource_control/cpu/cap") {
      if (!m.hasCap)
        return kVsFail;
      *value = m.cap();
      return kVsResultOk;
    }
    if (key == L"settings/host/resource_control/cpu/host_processors") {
      *value = m.processors();
      return kVsResultOk;
    }
    return kVsFail;
  }

private:
  size_t index_;
};

class FakeCollection : public Counted<VsVirtualMachineCollection> {
public:
  VsResult get_Count(int32_t* count) override {
    *count = static_cast<int32_t>(machines.size());
    return kVsResultOk;
  }
  VsResult get_Item(int32_t index, VsVirtualMachineObject** machine) override {
    *machine = nullptr;
    if (index < 1 || static_cast<size_t>(index) > machines.size())
      return kVsInvalidArg;
    *machine = new FakeMachineObject(static_cast<size_t>(index) - 1);
    return kVsResultOk;
  }
};

class FakeServer : public Counted<VsVirtualServerObject> {
public:
  VsResult get_VirtualMachines(VsVirtualMachineCollection** list) override {
    *list = new FakeCollection;
    return kVsResultOk;
  }
  VsResult get_Name(std::wstring* name) override {
    *name = L"HOST-%s%n";
    return kVsResultOk;
  }
  VsResult get_Version(std::wstring* version) override {
    *version = L"1.0 %d";
    return kVsResultOk;
  }
};

VsResult connectFake(const char*, VsVirtualServerObject** server) {
  *server = new FakeServer;
  return kVsResultOk;
}

unsigned long releaseFake(VsVirtualServerObject* server) {
  return server ? server->Release() : 0;
}

class VsWorkerHostileTest : public ::testing::Test {
protected:
  VsWorkerHostileTest() {
    machines.clear();
    calls.clear();
  }
  ~VsWorkerHostileTest() override {
    machines.clear();
    calls.clear();
  }

  std::string run() {
    ScopedRunLog log(dir_.path() + "/log.txt", EnablerProgram::VirtualServer);
    publishParametersWith(host_.services(connectFake, releaseFake));
    EXPECT_EQ(0, liveObjects) << "objects left unreleased";
    return log.text();
  }

  /// The value set for `name`, or "<unset>".
  static std::wstring setValue(const std::wstring& name) {
    for (const SetCall& call : calls)
      if (call.name == name)
        return call.value;
    return L"<unset>";
  }

  TempDir dir_;
  VsTestHost host_{dir_.path()};
};

TEST_F(VsWorkerHostileTest, MachineNameOfAMegabyteIsPublishedWhole) {
  std::wstring name(1 << 20, L'n');
  name[0] = L'N';
  name.back() = L'z';
  machines.push_back({name});
  std::string log = run();
  EXPECT_EQ(name, setValue(L"KEP_VM_ID"));
  std::string narrow(name.begin(), name.end());
  EXPECT_NE(std::string::npos, log.find("\n>> " + narrow + ": Running\n"));
  EXPECT_NE(
      std::string::npos,
      log.find("OK: Parameter KEP_VM_ID set with value '" + narrow + "'\n"));
  EXPECT_EQ(9u, calls.size());
  EXPECT_EQ(kVsOk, returnCode);
}

TEST_F(VsWorkerHostileTest, NamesAreNeverTakenAsFormats) {
  const std::wstring name = L"%s%n%ls%99999999d %% \t\x01\x1b end";
  machines.push_back({name});
  std::string log = run();
  EXPECT_EQ(name, setValue(L"KEP_VM_ID"));
  std::string narrow(name.begin(), name.end());
  EXPECT_NE(std::string::npos, log.find("\nHOST-%s%n version 1.0 %d\n")) << log;
  EXPECT_NE(std::string::npos, log.find("\n>> " + narrow + ": Running\n"))
      << log;
  EXPECT_NE(
      std::string::npos,
      log.find("OK: Parameter KEP_VM_ID set with value '" + narrow + "'\n"))
      << log;
}

TEST_F(VsWorkerHostileTest, StatesOutsideTheTableAreInvalid) {
  for (int32_t state : {std::numeric_limits<int32_t>::min(), -1, 11,
                        std::numeric_limits<int32_t>::max()}) {
    FakeMachine m{L"vm"};
    m.state = state;
    machines.push_back(m);
  }
  std::string log = run();
  EXPECT_TRUE(calls.empty());
  size_t shown = 0;
  for (size_t at = log.find(">> vm: Invalid\nOK: Exiting\n");
       at != std::string::npos;
       at = log.find(">> vm: Invalid\nOK: Exiting\n", at + 1))
    ++shown;
  EXPECT_EQ(4u, shown) << log;
  EXPECT_EQ(kVsOk, returnCode);
}

TEST_F(VsWorkerHostileTest, ExtremeCapacitiesEndTheRunNormally) {
  // Each machine's cap and maximum system capacity; NaN is never above 0.
  struct Case {
    VsVariant (*cap)();
    VsVariant (*maxSystem)();
    const char* why;
  };
  const Case cases[] = {
      {[] { return VsVariant::fromReal(NAN); },
       [] { return VsVariant::fromReal(NAN); }, "not a number"},
      {[] { return VsVariant::fromReal(INFINITY); },
       [] { return VsVariant::fromReal(1); }, "infinite cap"},
      {[] { return VsVariant::fromReal(1e308); },
       [] { return VsVariant::fromReal(1); }, "cap times 4 overflows"},
      {[] { return VsVariant::fromReal(-INFINITY); },
       [] { return VsVariant::fromReal(1e308); }, "huge system capacity"},
      {[] { return VsVariant::fromReal(5e-324); },
       [] { return VsVariant::fromReal(0); }, "smallest cap"},
      {[] { return VsVariant::fromText(L"25"); },
       [] { return VsVariant::fromText(L"fifty"); }, "texts"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    machines.clear();
    calls.clear();
    FakeMachine m{L"vm"};
    m.cap = c.cap;
    m.maxSystem = c.maxSystem;
    machines.push_back(m);
    std::string log = run();
    EXPECT_EQ(L"vm", setValue(L"KEP_VM_ID"));
    EXPECT_EQ(L"2:GenuineIntel:6:0:4:2:2400:64",
              setValue(L"KEP_PHYSICAL_PROCESSOR"));
    // A capacity, when one is set, is a number's text, never empty.
    std::wstring capacity = setValue(L"KEP_VM_CAPACITY");
    EXPECT_FALSE(capacity.empty());
    EXPECT_TRUE(returnCode == kVsOk || returnCode == kVsSetFailed)
        << returnCode;
  }
  // Not a number on both rules: no capacity at all.
  machines.clear();
  calls.clear();
  FakeMachine m{L"vm"};
  m.cap = cases[0].cap;
  m.maxSystem = cases[0].maxSystem;
  machines.push_back(m);
  run();
  EXPECT_EQ(L"<unset>", setValue(L"KEP_VM_CAPACITY"));
}

TEST_F(VsWorkerHostileTest, ValuesOfOtherTypesAreConvertedOrRefused) {
  FakeMachine m{L"vm"};
  m.cap = [] { return VsVariant::fromText(L"not a number"); };
  m.processors = [] { return VsVariant::fromText(L"4"); };
  m.maxSystem = [] { return VsVariant(); };
  machines.push_back(m);
  run();
  EXPECT_EQ(L"vm", setValue(L"KEP_VM_ID"));
  EXPECT_TRUE(returnCode == kVsOk || returnCode == kVsCapacityUnread)
      << returnCode;
}

} // namespace
