#include "enabler/MSVirtualServer/vs_simulated.h"

#include "common/platform/ref_holder.h"
#include "common/vartree/vtree.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace {

const char kTwoMachines[] =
    "1.0 0 simulated Virtual Server\n"
    "(server\n"
    "Name:s=HOST-A\n"
    "Version:s=1.3.7871 SP1\n"
    "(machine\n"
    "Name:s=web01\n"
    "State:i=5\n"
    "MaxSystemCapacity:f=50\n"
    "(configuration\n"
    "settings/host/resource_control/cpu/cap:f=25\n"
    "settings/host/resource_control/cpu/host_processors:i=4\n"
    "settings/other:s=12.5\n"
    ")\n"
    ")\n"
    "(machine\n"
    "Name:s=db01\n"
    "State:i=2\n"
    "Fail:s=get_CapacityObject  SetParameter:KEP_VM_ID\n"
    ")\n"
    ")\n";

/// A model file and a record file in a fresh directory.
class VsSimulatedTest : public ::testing::Test {
protected:
  VsSimulatedTest()
      : model_(dir_.path() + "/model.txt"),
        record_(dir_.path() + "/record.txt") {}

  RefHolder<VsVirtualServerObject> create(const std::string& text,
                                          bool recorded = true) {
    EXPECT_TRUE(writeTestFile(model_, text));
    RefHolder<VsVirtualServerObject> server;
    EXPECT_EQ(kVsResultOk,
              vsCreateSimulatedServer(model_.c_str(),
                                      recorded ? record_.c_str() : nullptr,
                                      server.put()));
    return server;
  }

  TempDir dir_;
  std::string model_;
  std::string record_;
};

TEST_F(VsSimulatedTest, UnusableModelMeansClassNotRegistered) {
  struct Case {
    const char* text; // null: no file at all
    const char* why;
    std::string problem; ///< how vsModelProblem's line begins
  };
  const Case cases[] = {
      {nullptr, "no model file", "the model cannot be read: "},
      {"", "empty file", model_ + ": no status line"},
      {"simulated\n(server\n)\n", "no status line",
       model_ + ":1: the status line is not accepted"},
      {"1.0 0 ok\n", "no root group", model_ + ": no group is closed"},
      {"1.0 0 ok\n(server\nName:s=A\n", "root group never closed",
       model_ + ": no group is closed"},
      {"1.0 0 ok\n(server\n\n)\n", "blank line in the body",
       model_ + ":3: a blank line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    remove(model_.c_str());
    if (c.text) {
      ASSERT_TRUE(writeTestFile(model_, c.text));
    }
    VsVirtualServerObject* server = reinterpret_cast<VsVirtualServerObject*>(1);
    EXPECT_EQ(kVsClassNotRegistered,
              vsCreateSimulatedServer(model_.c_str(), nullptr, &server));
    EXPECT_EQ(nullptr, server);
    std::string problem = vsModelProblem(model_.c_str());
    EXPECT_EQ(c.problem, problem.substr(0, c.problem.size())) << problem;
  }
  VsVirtualServerObject* server = nullptr;
  EXPECT_EQ(kVsClassNotRegistered,
            vsCreateSimulatedServer(nullptr, nullptr, &server));
  EXPECT_EQ(0, vsSimulatedObjectCount());
  EXPECT_EQ("", vsModelProblem(nullptr));
  EXPECT_TRUE(create(kTwoMachines));
  EXPECT_EQ("", vsModelProblem(model_.c_str()));
}

TEST_F(VsSimulatedTest, ModelAnswersEveryOperation) {
  {
    RefHolder<VsVirtualServerObject> server = create(kTwoMachines);
    ASSERT_TRUE(server);
    std::wstring text;
    EXPECT_EQ(kVsResultOk, server->get_Name(&text));
    EXPECT_EQ(L"HOST-A", text);
    EXPECT_EQ(kVsResultOk, server->get_Version(&text));
    EXPECT_EQ(L"1.3.7871 SP1", text);

    RefHolder<VsVirtualMachineCollection> machines;
    ASSERT_EQ(kVsResultOk, server->get_VirtualMachines(machines.put()));
    int32_t count = 0;
    EXPECT_EQ(kVsResultOk, machines->get_Count(&count));
    EXPECT_EQ(2, count);

    RefHolder<VsVirtualMachineObject> machine;
    ASSERT_EQ(kVsResultOk, machines->get_Item(1, machine.put()));
    EXPECT_EQ(kVsResultOk, machine->get_Name(&text));
    EXPECT_EQ(L"web01", text);
    int32_t state = 0;
    EXPECT_EQ(kVsResultOk, machine->get_State(&state));
    EXPECT_EQ(5, state);

    VsVariant value;
    double real = 0;
    int32_t integer = 0;
    ASSERT_EQ(kVsResultOk,
              machine->GetConfigurationValue(
                  L"settings/host/resource_control/cpu/cap", &value));
    EXPECT_TRUE(value.toReal(&real));
    EXPECT_EQ(25.0, real);
    ASSERT_EQ(
        kVsResultOk,
        machine->GetConfigurationValue(
            L"settings/host/resource_control/cpu/host_processors", &value));
    EXPECT_TRUE(value.toInt(&integer));
    EXPECT_EQ(4, integer);
    ASSERT_EQ(kVsResultOk,
              machine->GetConfigurationValue(L"settings/other", &value));
    EXPECT_TRUE(value.toText(&text));
    EXPECT_EQ(L"12.5", text);
    EXPECT_EQ(kVsFail,
              machine->GetConfigurationValue(L"settings/none", &value));

    RefHolder<VsCapacityObject> capacity;
    ASSERT_EQ(kVsResultOk, machine->get_CapacityObject(capacity.put()));
    ASSERT_EQ(kVsResultOk, capacity->get_MaxSystemCapacity(&value));
    EXPECT_TRUE(value.toReal(&real));
    EXPECT_EQ(50.0, real);

    // The second machine has no maximum system capacity.
    ASSERT_EQ(kVsResultOk, machines->get_Item(2, machine.put()));
    EXPECT_EQ(kVsResultOk, machine->get_State(&state));
    EXPECT_EQ(2, state);
    EXPECT_EQ(kVsFail, machine->get_CapacityObject(capacity.put()));
    EXPECT_FALSE(capacity);

    EXPECT_EQ(kVsInvalidArg, machines->get_Item(0, machine.put()));
    EXPECT_EQ(kVsInvalidArg, machines->get_Item(3, machine.put()));
    EXPECT_FALSE(machine);
  }
  EXPECT_EQ(0, vsSimulatedObjectCount());
}

// Each configuration value is copied as the walk over the group meets it:
// looking each up by name again compared 8 million names for these 4096.
TEST_F(VsSimulatedTest, ConfigurationIsCopiedInOneWalk) {
  const int kValues = 4096;
  std::string text = "1.0 0 large\n(server\n(machine\nName:s=big\n"
                     "(configuration\n";
  for (int i = 0; i < kValues; ++i)
    text += "key" + std::to_string(i) + ":i=" + std::to_string(i) + "\n";
  text += ")\n)\n)\n";
  unsigned long before = vtNameComparisons();
  {
    RefHolder<VsVirtualServerObject> server = create(text);
    ASSERT_TRUE(server);
    EXPECT_GT(100ul, vtNameComparisons() - before);
    RefHolder<VsVirtualMachineCollection> machines;
    ASSERT_EQ(kVsResultOk, server->get_VirtualMachines(machines.put()));
    RefHolder<VsVirtualMachineObject> machine;
    ASSERT_EQ(kVsResultOk, machines->get_Item(1, machine.put()));
    VsVariant value;
    int32_t integer = 0;
    ASSERT_EQ(kVsResultOk, machine->GetConfigurationValue(L"key4095", &value));
    EXPECT_TRUE(value.toInt(&integer));
    EXPECT_EQ(kValues - 1, integer);
  }
  EXPECT_EQ(0, vsSimulatedObjectCount());
}

TEST_F(VsSimulatedTest, FailListMakesEachOperationFail) {
  struct Case {
    const char* serverFail;
    const char* machineFail;
    const char* operation;
  };
  const Case cases[] = {
      {"get_Name", "", "server get_Name"},
      {"get_VirtualMachines", "", "get_VirtualMachines"},
      {"get_Count", "", "get_Count"},
      {"", "get_Item", "get_Item"},
      {"", "get_Name", "machine get_Name"},
      {"", "get_State", "get_State"},
      {"", "get_CapacityObject", "get_CapacityObject"},
      {"", "get_GuestParameterObject", "get_GuestParameterObject"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    std::string model = std::string("1.0 0 ok\n(server\nName:s=S\n") +
                        "Fail:s=" + c.serverFail + "\n(machine\nName:s=m\n" +
                        "State:i=5\nFail:s=" + c.machineFail + "\n)\n)\n";
    RefHolder<VsVirtualServerObject> server = create(model);
    ASSERT_TRUE(server);
    std::string op = c.operation;
    std::wstring text;
    EXPECT_EQ(op == "server get_Name" ? kVsFail : kVsResultOk,
              server->get_Name(&text));
    RefHolder<VsVirtualMachineCollection> machines;
    VsResult result = server->get_VirtualMachines(machines.put());
    EXPECT_EQ(op == "get_VirtualMachines" ? kVsFail : kVsResultOk, result);
    if (!machines)
      continue;
    int32_t count = 0;
    EXPECT_EQ(op == "get_Count" ? kVsFail : kVsResultOk,
              machines->get_Count(&count));
    RefHolder<VsVirtualMachineObject> machine;
    EXPECT_EQ(op == "get_Item" ? kVsFail : kVsResultOk,
              machines->get_Item(1, machine.put()));
    if (!machine)
      continue;
    int32_t state = 0;
    EXPECT_EQ(op == "machine get_Name" ? kVsFail : kVsResultOk,
              machine->get_Name(&text));
    EXPECT_EQ(op == "get_State" ? kVsFail : kVsResultOk,
              machine->get_State(&state));
    RefHolder<VsCapacityObject> capacity;
    EXPECT_EQ(op == "get_CapacityObject" ? kVsFail : kVsResultOk,
              machine->get_CapacityObject(capacity.put()));
    RefHolder<VsGuestParameterObject> parameters;
    EXPECT_EQ(op == "get_GuestParameterObject" ? kVsFail : kVsResultOk,
              machine->get_GuestParameterObject(parameters.put()));
  }
  EXPECT_EQ(0, vsSimulatedObjectCount());
}

TEST_F(VsSimulatedTest, ConnectFailsOnlyTheFirstVersionRead) {
  std::wstring version;
  RefHolder<VsVirtualServerObject> server =
      create("1.0 0 ok\n(server\nVersion:s=1.3\nFail:s=connect\n)\n");
  EXPECT_EQ(kVsFail, server->get_Version(&version));
  EXPECT_EQ(kVsResultOk, server->get_Version(&version));
  EXPECT_EQ(L"1.3", version);

  server = create("1.0 0 ok\n(server\nVersion:s=1.3\nFail:s=get_Version\n)\n");
  EXPECT_EQ(kVsResultOk, server->get_Version(&version));
  EXPECT_EQ(kVsFail, server->get_Version(&version));
  EXPECT_EQ(kVsFail, server->get_Version(&version));
}

TEST_F(VsSimulatedTest, SuccessfulSetsAreRecordedOneLineEach) {
  {
    RefHolder<VsVirtualServerObject> server =
        create("1.0 0 ok\n(server\n(machine\nName:s=web01\n)\n"
               "(machine\nName:s=db01\nFail:s=SetParameter:KEP_VM_ID\n)\n"
               "(machine\nName:s=app\nFail:s=SetParameter\n)\n)\n");
    RefHolder<VsVirtualMachineCollection> machines;
    ASSERT_EQ(kVsResultOk, server->get_VirtualMachines(machines.put()));
    const VsResult expected[][2] = {
        {kVsResultOk, kVsResultOk}, {kVsResultOk, kVsFail}, {kVsFail, kVsFail}};
    for (int32_t index = 1; index <= 3; ++index) {
      SCOPED_TRACE(index);
      RefHolder<VsVirtualMachineObject> machine;
      ASSERT_EQ(kVsResultOk, machines->get_Item(index, machine.put()));
      RefHolder<VsGuestParameterObject> parameters;
      ASSERT_EQ(kVsResultOk,
                machine->get_GuestParameterObject(parameters.put()));
      EXPECT_EQ(expected[index - 1][0],
                parameters->SetParameter(L"KEP_NODE_ID", L"SN 1"));
      EXPECT_EQ(expected[index - 1][1],
                parameters->SetParameter(L"KEP_VM_ID", L"caf\xe9"));
    }
  }
  EXPECT_EQ("web01\tKEP_NODE_ID\tSN 1\n"
            "web01\tKEP_VM_ID\tcaf\xc3\xa9\n"
            "db01\tKEP_NODE_ID\tSN 1\n",
            readTestFile(record_));
  EXPECT_EQ(0, vsSimulatedObjectCount());
}

TEST_F(VsSimulatedTest, WithoutRecordFileSetsSucceedUnrecorded) {
  RefHolder<VsVirtualServerObject> server =
      create("1.0 0 ok\n(server\n(machine\nName:s=m\n)\n)\n", false);
  RefHolder<VsVirtualMachineCollection> machines;
  ASSERT_EQ(kVsResultOk, server->get_VirtualMachines(machines.put()));
  RefHolder<VsVirtualMachineObject> machine;
  ASSERT_EQ(kVsResultOk, machines->get_Item(1, machine.put()));
  RefHolder<VsGuestParameterObject> parameters;
  ASSERT_EQ(kVsResultOk, machine->get_GuestParameterObject(parameters.put()));
  EXPECT_EQ(kVsResultOk, parameters->SetParameter(L"KEP_NODE_ID", L"x"));
  EXPECT_EQ("", readTestFile(record_));
}

TEST_F(VsSimulatedTest, MissingNameAndStateReadAsEmptyAndInvalid) {
  RefHolder<VsVirtualServerObject> server =
      create("1.0 0 ok\n(server\n(machine\nState:s=5\n)\n)\n");
  std::wstring text = L"x";
  EXPECT_EQ(kVsResultOk, server->get_Name(&text));
  EXPECT_EQ(L"", text);
  RefHolder<VsVirtualMachineCollection> machines;
  ASSERT_EQ(kVsResultOk, server->get_VirtualMachines(machines.put()));
  RefHolder<VsVirtualMachineObject> machine;
  ASSERT_EQ(kVsResultOk, machines->get_Item(1, machine.put()));
  int32_t state = -1;
  EXPECT_EQ(kVsResultOk, machine->get_State(&state));
  EXPECT_EQ(0, state); // a State that is no integer counts as missing
}

} // namespace
