#include "enabler/MSVirtualServer/vs_connection.h"
#include "enabler/MSVirtualServer/vs_simulated.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(VsConnectionTest, NullOutPointerGivesInvalidArgument) {
  EXPECT_EQ(kVsInvalidArg, vsConnect(nullptr, nullptr));
}

TEST(VsConnectionTest, ModelVariableDecidesWhetherServerIsInstalled) {
  TempDir dir;
  const std::string model = dir.path() + "/model.txt";
  ASSERT_TRUE(writeTestFile(model, "1.0 0 ok\n(server\nVersion:s=1\n)\n"));
  const std::string failing = dir.path() + "/failing.txt";
  ASSERT_TRUE(writeTestFile(
      failing, "1.0 0 ok\n(server\nVersion:s=1\nFail:s=connect\n)\n"));
  struct Case {
    const char* model;
    VsResult result;
    bool object;
    const char* why;
  };
  const Case cases[] = {
      {nullptr, kVsClassNotRegistered, false, "unset"},
      {"/no/such/model", kVsClassNotRegistered, false, "unreadable"},
      {model.c_str(), kVsResultOk, true, "a model"},
      {failing.c_str(), kVsFail, true, "the version read fails"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScopedEnv variable(kVsModelVariable, c.model);
    VsVirtualServerObject* server = nullptr;
    EXPECT_EQ(c.result, vsConnect(nullptr, &server));
    EXPECT_EQ(c.object, server != nullptr);
    EXPECT_EQ(0u, vsDisconnect(server));
    EXPECT_EQ(0, vsSimulatedObjectCount());
  }
}

} // namespace
