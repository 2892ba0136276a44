// vs_connection.h: the narrow adapter between vs-enabler and Virtual Server.
// It offers exactly the Virtual Server operations the enabler calls, under
// their COM names, and the connection itself. On Windows they go to Virtual
// Server's COM object model; natively to the simulated Virtual Server. No OS
// header here.
#ifndef ENABLER_VS_VS_CONNECTION_H
#define ENABLER_VS_VS_CONNECTION_H

#include "enabler/MSVirtualServer/vs_values.h"

#include <stdint.h>

#include <string>

/// An HRESULT: negative means failure, anything else success.
using VsResult = int32_t;

constexpr VsResult kVsResultOk = 0;
constexpr VsResult kVsFail = static_cast<VsResult>(0x80004005); // E_FAIL
constexpr VsResult kVsInvalidArg =
    static_cast<VsResult>(0x80070057); // E_INVALIDARG
constexpr VsResult kVsClassNotRegistered =
    static_cast<VsResult>(0x80040154); // REGDB_E_CLASSNOTREG

inline bool vsFailed(VsResult result) {
  return result < 0;
}

/// Every object the adapter hands out carries one reference of its caller,
/// which Release gives back; the object must not be used afterwards.
class VsObject {
public:
  /// Gives the object's remaining reference count.
  virtual unsigned long Release() = 0;

protected:
  virtual ~VsObject() = default;
};

/// Where the guest of one machine reads named string parameters.
class VsGuestParameterObject : public VsObject {
public:
  virtual VsResult SetParameter(const std::wstring& name,
                                const std::wstring& value) = 0;
};

/// A machine's processor capacity.
class VsCapacityObject : public VsObject {
public:
  virtual VsResult get_MaxSystemCapacity(VsVariant* capacity) = 0;
};

/// One virtual machine.
class VsVirtualMachineObject : public VsObject {
public:
  virtual VsResult get_Name(std::wstring* name) = 0;
  virtual VsResult get_CapacityObject(VsCapacityObject** capacity) = 0;
  virtual VsResult
  get_GuestParameterObject(VsGuestParameterObject** parameters) = 0;
  /// The machine's state number, handed on unchecked.
  virtual VsResult get_State(int32_t* state) = 0;
  /// The value stored under `key` in the machine's configuration.
  virtual VsResult GetConfigurationValue(const std::wstring& key,
                                         VsVariant* value) = 0;
};

/// All virtual machines of the server: items 1 to Count.
class VsVirtualMachineCollection : public VsObject {
public:
  virtual VsResult get_Count(int32_t* count) = 0;
  virtual VsResult get_Item(int32_t index,
                            VsVirtualMachineObject** machine) = 0;
};

/// The Virtual Server application object.
class VsVirtualServerObject : public VsObject {
public:
  virtual VsResult
  get_VirtualMachines(VsVirtualMachineCollection** machines) = 0;
  virtual VsResult get_Name(std::wstring* name) = 0;
  virtual VsResult get_Version(std::wstring* version) = 0;
};

/// Makes the application object of Virtual Server on `serverName` (null: this
/// machine) and reads its version to prove the connection. E_INVALIDARG for a
/// null `server`; else `*server` is set, null at first, and holds the object
/// whenever it was made, also when the version read failed. On Windows COM
/// stays initialised for the thread once that step succeeded, until
/// vsDisconnect.
VsResult vsConnect(const char* serverName, VsVirtualServerObject** server);

/// Releases `server` (when not null) and ends the thread's use of COM. Gives
/// the count that Release gave, or 0.
unsigned long vsDisconnect(VsVirtualServerObject* server);

#endif
