// node_identity_win32_test.cpp: the node identity from WMI on this machine
// (Wine's WMI under wine64), and the calling thread's apartment around it.
#include "node_identity.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <utility>

namespace {

// A thread's start routine is WINAPI (stdcall on 32-bit x86), which no
// lambda converts to.
DWORD WINAPI runBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}

// Runs `body` on a new thread of the system's own and waits for it: the
// release's win32 threading model has no std::thread.
void runOnNewThread(const std::function<void()>& body) {
  HANDLE thread =
      CreateThread(nullptr, 0, runBody,
                   const_cast<std::function<void()>*>(&body), 0, nullptr);
  ASSERT_NE(nullptr, thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

} // namespace

TEST(NodeIdentityWmiTest, AllFiveFieldsArePresent) {
  NodeIdentity id;
  ASSERT_TRUE(getNodeIdentity(&id));
  EXPECT_NE(nullptr, id.nodeId);
  EXPECT_NE(nullptr, id.manufacturer);
  EXPECT_NE(nullptr, id.version);
  EXPECT_NE(nullptr, id.product);
  EXPECT_NE(nullptr, id.type);
  // Kept in the test report, where the end-to-end suite compares them with
  // what wmic reports.
  const std::pair<const char*, const char*> fields[] = {
      {"nodeId", id.nodeId},
      {"manufacturer", id.manufacturer},
      {"version", id.version},
      {"product", id.product},
      {"type", id.type}};
  for (const auto& field : fields)
    if (field.second)
      RecordProperty(field.first, field.second);
  freeNodeIdentity(&id);
}

TEST(NodeIdentityWmiTest, SingleThreadedApartmentGivesFalseAllAbsent) {
  bool result = true;
  bool allAbsent = false;
  HRESULT joined = E_FAIL;
  runOnNewThread([&] {
    joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    NodeIdentity id;
    result = getNodeIdentity(&id);
    allAbsent = !id.nodeId && !id.manufacturer && !id.version && !id.product &&
                !id.type;
    CoUninitialize();
  });
  ASSERT_EQ(S_OK, joined);
  EXPECT_FALSE(result);
  EXPECT_TRUE(allAbsent);
}

TEST(NodeIdentityWmiTest, ApartmentIsBalanced) {
  // On a thread already in the multithreaded apartment the call's own join
  // gives S_FALSE and its leave must not end the caller's membership; on a
  // fresh thread the call leaves nothing behind.
  HRESULT first = E_FAIL;
  HRESULT afterJoined = E_FAIL;
  HRESULT afterFresh = E_FAIL;
  bool joinedResult = false;
  runOnNewThread([&] {
    first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    NodeIdentity id;
    joinedResult = getNodeIdentity(&id);
    freeNodeIdentity(&id);
    afterJoined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  });
  runOnNewThread([&] {
    NodeIdentity id;
    getNodeIdentity(&id);
    freeNodeIdentity(&id);
    afterFresh = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
  });
  ASSERT_EQ(S_OK, first);
  EXPECT_TRUE(joinedResult);
  EXPECT_EQ(S_FALSE, afterJoined);
  EXPECT_EQ(S_OK, afterFresh);
}
