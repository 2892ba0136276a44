// node_identity_test.cpp: what holds for the node identity on every platform.
#include "node_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string show(const char* text) {
  return text ? "'" + std::string(text) + "'" : "absent";
}

} // namespace

TEST(NodeIdentityTest, SecondCallGivesTheSameRecord) {
  NodeIdentity first, second;
  bool firstResult = getNodeIdentity(&first);
  bool secondResult = getNodeIdentity(&second);
  EXPECT_EQ(firstResult, secondResult);
  EXPECT_EQ(show(first.nodeId), show(second.nodeId));
  EXPECT_EQ(show(first.manufacturer), show(second.manufacturer));
  EXPECT_EQ(show(first.version), show(second.version));
  EXPECT_EQ(show(first.product), show(second.product));
  EXPECT_EQ(show(first.type), show(second.type));
  freeNodeIdentity(&first);
  freeNodeIdentity(&second);
  EXPECT_EQ(nullptr, first.nodeId);
  EXPECT_EQ(nullptr, first.type);
}
