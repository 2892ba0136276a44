// vs_com_interfaces.h: Virtual Server's COM interfaces as the enabler binds
// them: each operation it calls sits at the slot of the object's function
// table that Virtual Server's published interface gives it. Slots 0 to 2 are
// IUnknown's and 3 to 6 IDispatch's; the slots between the operations are
// filled with placeholders that the enabler never calls. Windows only; also
// used by the simulated Virtual Server's COM server of the tests, which
// implements every slot.
#ifndef ENABLER_VS_VS_COM_INTERFACES_H
#define ENABLER_VS_VS_COM_INTERFACES_H

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>

// clang-format off
/// Class of the Virtual Server application object.
// {DA3111BC-1BD7-4884-A535-8470D36028F7}
constexpr CLSID kVsApplicationClass = {
    0xDA3111BC, 0x1BD7, 0x4884, {0xA5, 0x35, 0x84, 0x70, 0xD3, 0x60, 0x28, 0xF7}};
/// Interface requested for it.
// {D1E64C50-A25D-450F-BE0B-9CA5A354CFF4}
constexpr IID kVsApplicationInterface = {
    0xD1E64C50, 0xA25D, 0x450F, {0xBE, 0x0B, 0x9C, 0xA5, 0xA3, 0x54, 0xCF, 0xF4}};

// Placeholder slots. A list names slot numbers; VS_COM_DECLARE_SLOT makes each
// a pure virtual method, an implementation expands the same list its own way.
#define VS_COM_DECLARE_SLOT(n) virtual HRESULT STDMETHODCALLTYPE slot##n() = 0;
#define VS_COM_TEN(X, tens)                                                    \
  X(tens##0) X(tens##1) X(tens##2) X(tens##3) X(tens##4) X(tens##5) X(tens##6) \
  X(tens##7) X(tens##8) X(tens##9)

#define VS_COM_SERVER_SLOTS_7_15(X)                                            \
  X(7) X(8) X(9) X(10) X(11) X(12) X(13) X(14) X(15)
#define VS_COM_SERVER_SLOTS_17_84(X)                                           \
  X(17) X(18) X(19) VS_COM_TEN(X, 2) VS_COM_TEN(X, 3) VS_COM_TEN(X, 4)         \
  VS_COM_TEN(X, 5) VS_COM_TEN(X, 6) VS_COM_TEN(X, 7) X(80) X(81) X(82) X(83)   \
  X(84)
#define VS_COM_MACHINE_SLOTS_8_10(X) X(8) X(9) X(10)
#define VS_COM_MACHINE_SLOTS_13_22(X)                                          \
  X(13) X(14) X(15) X(16) X(17) X(18) X(19) X(20) X(21) X(22)
#define VS_COM_MACHINE_SLOTS_24_79(X)                                          \
  X(24) X(25) X(26) X(27) X(28) X(29) VS_COM_TEN(X, 3) VS_COM_TEN(X, 4)        \
  VS_COM_TEN(X, 5) VS_COM_TEN(X, 6) VS_COM_TEN(X, 7)
#define VS_COM_CAPACITY_SLOTS_7_9(X) X(7) X(8) X(9)
#define VS_COM_PARAMETERS_SLOTS_7_8(X) X(7) X(8)
// clang-format on

/// A machine's processor capacity.
struct IVsCapacity : public IDispatch {
  VS_COM_CAPACITY_SLOTS_7_9(VS_COM_DECLARE_SLOT)
  /// Slot 10: a double (VT_R8).
  virtual HRESULT STDMETHODCALLTYPE
  get_MaxSystemCapacity(VARIANT* capacity) = 0;
};

/// Where a machine's guest reads named string parameters.
struct IVsGuestParameters : public IDispatch {
  VS_COM_PARAMETERS_SLOTS_7_8(VS_COM_DECLARE_SLOT)
  /// Slot 9.
  virtual HRESULT STDMETHODCALLTYPE SetParameter(BSTR name, BSTR value) = 0;
};

/// One virtual machine.
struct IVsVirtualMachine : public IDispatch {
  /// Slot 7.
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  VS_COM_MACHINE_SLOTS_8_10(VS_COM_DECLARE_SLOT)
  /// Slot 11.
  virtual HRESULT STDMETHODCALLTYPE
  get_CapacityObject(IVsCapacity** capacity) = 0;
  /// Slot 12.
  virtual HRESULT STDMETHODCALLTYPE
  get_GuestParameterObject(IVsGuestParameters** parameters) = 0;
  VS_COM_MACHINE_SLOTS_13_22(VS_COM_DECLARE_SLOT)
  /// Slot 23: the state number, 0 to 10.
  virtual HRESULT STDMETHODCALLTYPE get_State(LONG* state) = 0;
  VS_COM_MACHINE_SLOTS_24_79(VS_COM_DECLARE_SLOT)
  /// Slot 80.
  virtual HRESULT STDMETHODCALLTYPE GetConfigurationValue(BSTR key,
                                                          VARIANT* value) = 0;
};

/// All virtual machines of the server.
struct IVsVirtualMachineCollection : public IDispatch {
  /// Slot 7.
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
  /// Slot 8: items 1 to Count.
  virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index,
                                             IVsVirtualMachine** machine) = 0;
};

/// The Virtual Server application object.
struct IVsVirtualServer : public IDispatch {
  VS_COM_SERVER_SLOTS_7_15(VS_COM_DECLARE_SLOT)
  /// Slot 16.
  virtual HRESULT STDMETHODCALLTYPE
  get_VirtualMachines(IVsVirtualMachineCollection** machines) = 0;
  VS_COM_SERVER_SLOTS_17_84(VS_COM_DECLARE_SLOT)
  /// Slot 85.
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  /// Slot 86.
  virtual HRESULT STDMETHODCALLTYPE get_Version(BSTR* version) = 0;
};

#endif
