// vs_connection_win32.cpp: the Windows half of the Virtual Server connection:
// COM in the multithreaded apartment, the application object made with
// CoCreateInstance, and each adapter object a thin holder of one COM
// interface pointer, released exactly once. Only COM calls live here.
#include "enabler/MSVirtualServer/vs_connection.h"

#include "common/platform/scoped_resource_win32.h"
#include "enabler/MSVirtualServer/vs_com_interfaces.h"
#include "enabler/MSVirtualServer/vs_values_win32.h"

#include <windows.h>

#include <oleauto.h>

namespace {

/// Every Virtual Server class this enabler may start: in-process server and
/// handler, local and remote server.
constexpr DWORD kServerContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                 CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
static_assert(kServerContext == 0x17, "context of the application object");

/// A copy of `text` in `*held`; the empty text stays a null BSTR, which COM
/// takes as the empty string. False when memory ran out.
bool assignText(ScopedBstr* held, const std::wstring& text) {
  held->reset(text.empty() ? nullptr
                           : SysAllocStringLen(text.data(),
                                               static_cast<UINT>(text.size())));
  return text.empty() || held->valid();
}

/// Reads a string property through `read` into `*text`.
template <class Read> HRESULT readText(Read read, std::wstring* text) {
  ScopedBstr value;
  HRESULT result = read(value.put());
  if (SUCCEEDED(result))
    *text = value.valid() ? std::wstring(value.get(), SysStringLen(value.get()))
                          : std::wstring();
  return result;
}

/// Reads a VARIANT property through `read` into `*out`.
template <class Read> HRESULT readVariant(Read read, VsVariant* out) {
  VsVariant value;
  HRESULT result = read(&value.impl().value);
  if (SUCCEEDED(result))
    *out = std::move(value);
  return result;
}

/// An adapter object holding one reference to COM interface `I`.
template <class I, class Adapter> class ComHolder : public Adapter {
public:
  explicit ComHolder(I* com) : com_(com) {}
  unsigned long Release() override {
    ULONG count = com_->Release();
    delete this;
    return count;
  }

protected:
  I* com_;
};

/// Hands an object obtained from COM to the caller as its adapter object.
/// The call that obtained it must have returned before `com` is read.
template <class Holder, class I, class Adapter>
HRESULT handOut(HRESULT result, I* com, Adapter** out) {
  *out = nullptr;
  if (FAILED(result)) {
    if (com)
      com->Release();
    return result;
  }
  if (!com)
    return E_POINTER;
  *out = new Holder(com);
  return result;
}

class ComGuestParameters
    : public ComHolder<IVsGuestParameters, VsGuestParameterObject> {
public:
  using ComHolder::ComHolder;
  VsResult SetParameter(const std::wstring& name,
                        const std::wstring& value) override {
    ScopedBstr nameText, valueText;
    if (!assignText(&nameText, name) || !assignText(&valueText, value))
      return E_OUTOFMEMORY;
    return com_->SetParameter(nameText.get(), valueText.get());
  }
};

class ComCapacity : public ComHolder<IVsCapacity, VsCapacityObject> {
public:
  using ComHolder::ComHolder;
  VsResult get_MaxSystemCapacity(VsVariant* capacity) override {
    return readVariant(
        [this](VARIANT* v) { return com_->get_MaxSystemCapacity(v); },
        capacity);
  }
};

class ComMachine : public ComHolder<IVsVirtualMachine, VsVirtualMachineObject> {
public:
  using ComHolder::ComHolder;
  VsResult get_Name(std::wstring* name) override {
    return readText([this](BSTR* b) { return com_->get_Name(b); }, name);
  }
  VsResult get_CapacityObject(VsCapacityObject** capacity) override {
    IVsCapacity* com = nullptr;
    HRESULT result = com_->get_CapacityObject(&com);
    return handOut<ComCapacity>(result, com, capacity);
  }
  VsResult
  get_GuestParameterObject(VsGuestParameterObject** parameters) override {
    IVsGuestParameters* com = nullptr;
    HRESULT result = com_->get_GuestParameterObject(&com);
    return handOut<ComGuestParameters>(result, com, parameters);
  }
  VsResult get_State(int32_t* state) override {
    LONG value = 0;
    HRESULT result = com_->get_State(&value);
    if (SUCCEEDED(result))
      *state = value;
    return result;
  }
  VsResult GetConfigurationValue(const std::wstring& key,
                                 VsVariant* value) override {
    ScopedBstr keyText;
    if (!assignText(&keyText, key))
      return E_OUTOFMEMORY;
    return readVariant(
        [&](VARIANT* v) {
          return com_->GetConfigurationValue(keyText.get(), v);
        },
        value);
  }
};

class ComCollection : public ComHolder<IVsVirtualMachineCollection,
                                       VsVirtualMachineCollection> {
public:
  using ComHolder::ComHolder;
  VsResult get_Count(int32_t* count) override {
    LONG value = 0;
    HRESULT result = com_->get_Count(&value);
    if (SUCCEEDED(result))
      *count = value;
    return result;
  }
  VsResult get_Item(int32_t index, VsVirtualMachineObject** machine) override {
    IVsVirtualMachine* com = nullptr;
    HRESULT result = com_->get_Item(index, &com);
    return handOut<ComMachine>(result, com, machine);
  }
};

class ComServer : public ComHolder<IVsVirtualServer, VsVirtualServerObject> {
public:
  using ComHolder::ComHolder;
  VsResult get_VirtualMachines(VsVirtualMachineCollection** machines) override {
    IVsVirtualMachineCollection* com = nullptr;
    HRESULT result = com_->get_VirtualMachines(&com);
    return handOut<ComCollection>(result, com, machines);
  }
  VsResult get_Name(std::wstring* name) override {
    return readText([this](BSTR* b) { return com_->get_Name(b); }, name);
  }
  VsResult get_Version(std::wstring* version) override {
    return readText([this](BSTR* b) { return com_->get_Version(b); }, version);
  }
};

/// The application object on `serverName`, through CoCreateInstanceEx.
HRESULT createOnServer(const char* serverName, IVsVirtualServer** com) {
  ScopedBstr name;
  if (!assignText(&name, vsWideText(serverName)))
    return E_OUTOFMEMORY;
  COSERVERINFO info = {};
  info.pwszName = name.get();
  MULTI_QI query = {&kVsApplicationInterface, nullptr, S_OK};
  HRESULT result = CoCreateInstanceEx(kVsApplicationClass, nullptr,
                                      kServerContext, &info, 1, &query);
  if (SUCCEEDED(result))
    result = query.hr;
  if (SUCCEEDED(result))
    *com = static_cast<IVsVirtualServer*>(query.pItf);
  else if (query.pItf)
    query.pItf->Release();
  return result;
}

} // namespace

VsResult vsConnect(const char* serverName, VsVirtualServerObject** server) {
  if (!server)
    return E_INVALIDARG;
  *server = nullptr;
  HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(result))
    return result;
  result = CoInitializeSecurity(
      /*pSecDesc=*/nullptr, /*cAuthSvc=*/-1, /*asAuthSvc=*/nullptr,
      /*pReserved1=*/nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
      RPC_C_IMP_LEVEL_IMPERSONATE, /*pAuthList=*/nullptr, EOAC_DYNAMIC_CLOAKING,
      /*pReserved3=*/nullptr);
  if (FAILED(result))
    return result;
  IVsVirtualServer* com = nullptr;
  if (!serverName)
    result = CoCreateInstance(kVsApplicationClass, nullptr, kServerContext,
                              kVsApplicationInterface,
                              reinterpret_cast<void**>(&com));
  else
    result = createOnServer(serverName, &com);
  if (FAILED(result)) {
    if (com)
      com->Release();
    return result;
  }
  // A creation that reports success without an object is no connection.
  if (!com)
    return E_NOINTERFACE;
  ComServer* holder = new ComServer(com);
  *server = holder;
  std::wstring version;
  return holder->get_Version(&version);
}

unsigned long vsDisconnect(VsVirtualServerObject* server) {
  unsigned long count = server ? server->Release() : 0;
  CoUninitialize();
  return count;
}
