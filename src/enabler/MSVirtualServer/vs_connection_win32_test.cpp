#include "enabler/MSVirtualServer/vs_com_interfaces.h"
#include "enabler/MSVirtualServer/vs_connection.h"

#include <gtest/gtest.h>

#include <string.h>

#include <cstddef>

namespace {

/// The function-table slot of a virtual method: a pointer to a virtual member
/// holds one plus the slot's byte offset in the table (Itanium C++ ABI, which
/// MinGW follows).
template <class Member> std::ptrdiff_t slotOf(Member member) {
  struct Representation {
    std::ptrdiff_t pointer;
    std::ptrdiff_t adjustment;
  };
  static_assert(sizeof(Member) == sizeof(Representation),
                "a pointer to member function is two words");
  Representation representation;
  memcpy(&representation, &member, sizeof representation);
  EXPECT_EQ(1, representation.pointer % 2) << "not a virtual method";
  return (representation.pointer - 1) /
         static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(VsComInterfacesTest, OperationsSitAtTheirSlots) {
  EXPECT_EQ(2, slotOf(&IUnknown::Release));
  EXPECT_EQ(6, slotOf(&IDispatch::Invoke));
  EXPECT_EQ(16, slotOf(&IVsVirtualServer::get_VirtualMachines));
  EXPECT_EQ(85, slotOf(&IVsVirtualServer::get_Name));
  EXPECT_EQ(86, slotOf(&IVsVirtualServer::get_Version));
  EXPECT_EQ(7, slotOf(&IVsVirtualMachineCollection::get_Count));
  EXPECT_EQ(8, slotOf(&IVsVirtualMachineCollection::get_Item));
  EXPECT_EQ(7, slotOf(&IVsVirtualMachine::get_Name));
  EXPECT_EQ(11, slotOf(&IVsVirtualMachine::get_CapacityObject));
  EXPECT_EQ(12, slotOf(&IVsVirtualMachine::get_GuestParameterObject));
  EXPECT_EQ(23, slotOf(&IVsVirtualMachine::get_State));
  EXPECT_EQ(80, slotOf(&IVsVirtualMachine::GetConfigurationValue));
  EXPECT_EQ(10, slotOf(&IVsCapacity::get_MaxSystemCapacity));
  EXPECT_EQ(9, slotOf(&IVsGuestParameters::SetParameter));
}

TEST(VsConnectionTest, NullOutPointerGivesInvalidArgument) {
  EXPECT_EQ(kVsInvalidArg, vsConnect(nullptr, nullptr));
}

// COM's process-wide security can be set once per process, so this is the
// only test here that connects. No simulated server is registered for the
// unit tests.
TEST(VsConnectionTest, UnregisteredClassIsReportedAsItIs) {
  VsVirtualServerObject* server = nullptr;
  EXPECT_EQ(kVsClassNotRegistered, vsConnect(nullptr, &server));
  EXPECT_EQ(nullptr, server);
  EXPECT_EQ(0u, vsDisconnect(server)); // balances the COM initialisation
}

} // namespace
