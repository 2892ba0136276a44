// node_identity_test.cpp: what holds for the node identity on every platform.
#include "node_identity.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

std::string show(const char* text) {
  return text ? "'" + std::string(text) + "'" : "absent";
}

} // namespace

TEST(NodeIdentityTest, SecondCallGivesTheSameRecord) {
  // Both calls must really read an identity, or two equal failures would
  // pass: natively the complete DMI fixture, on Windows WMI, which ignores
  // KEP_DMI_ROOT (Wine's WMI gives all five properties).
  ScopedEnv root("KEP_DMI_ROOT", fixturePath("dmi/complete").c_str());
  ScopedNodeIdentity first, second;
  ASSERT_TRUE(getNodeIdentity(first.get()));
  ASSERT_TRUE(getNodeIdentity(second.get()));
  const std::pair<char*, char*> fields[] = {
      {first->nodeId, second->nodeId},
      {first->manufacturer, second->manufacturer},
      {first->version, second->version},
      {first->product, second->product},
      {first->type, second->type}};
  for (const auto& field : fields) {
    EXPECT_NE(nullptr, field.first);
    EXPECT_EQ(show(field.first), show(field.second));
    // Each record owns its texts.
    EXPECT_NE(field.first, field.second);
  }
  freeNodeIdentity(first.get());
  EXPECT_EQ(nullptr, first->nodeId);
  EXPECT_EQ(nullptr, first->type);
}
