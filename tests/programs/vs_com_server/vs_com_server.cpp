// vs_com_server.cpp: the simulated Virtual Server as an in-process COM server
// for the Virtual Server class. Each COM object holds one object of the
// simulated server (the same model file, KEP_VS_MODEL, and record file,
// KEP_VS_PARAMETERS, as natively) and offers its operations at the slots of
// Virtual Server's interfaces. Every other slot answers E_NOTIMPL.
#include "common/platform/ref_holder.h"
#include "enabler/MSVirtualServer/vs_com_interfaces.h"
#include "enabler/MSVirtualServer/vs_simulated.h"
#include "enabler/MSVirtualServer/vs_values_win32.h"

#include <windows.h>

#include <oleauto.h>
#include <olectl.h>
#include <stdio.h>

#include <string>

namespace {

HMODULE serverModule = nullptr;
LONG liveComObjects = 0;
LONG serverLocks = 0;

const wchar_t kClassKey[] = L"CLSID\\{DA3111BC-1BD7-4884-A535-8470D36028F7}";

#define VS_COM_IMPLEMENT_SLOT(n)                                               \
  HRESULT STDMETHODCALLTYPE slot##n() override {                               \
    return E_NOTIMPL;                                                          \
  }

/// A variable of the process environment; empty when unset.
bool environmentValue(const char* name, std::string* value) {
  char buffer[4096];
  DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer)
    return false;
  value->assign(buffer, length);
  return true;
}

std::wstring bstrText(BSTR text) {
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

HRESULT giveText(HRESULT result, const std::wstring& text, BSTR* out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (FAILED(result))
    return result;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? result : E_OUTOFMEMORY;
}

HRESULT giveVariant(HRESULT result, const VsVariant& value, VARIANT* out) {
  if (!out)
    return E_POINTER;
  VariantInit(out);
  if (FAILED(result))
    return result;
  HRESULT copied = VariantCopy(out, const_cast<VARIANT*>(&value.impl().value));
  return FAILED(copied) ? copied : result;
}

/// IUnknown and IDispatch of every object; `I` is its Virtual Server
/// interface and `own` that interface's identifier, if it has one.
template <class I> class ComObject : public I {
public:
  ComObject() { InterlockedIncrement(&liveComObjects); }
  virtual ~ComObject() { InterlockedDecrement(&liveComObjects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        isOwnInterface(iid)) {
      *out = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG count = InterlockedDecrement(&references_);
    if (count == 0)
      delete this;
    return static_cast<ULONG>(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count)
      return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                                   VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

protected:
  virtual bool isOwnInterface(REFIID) const { return false; }

private:
  LONG references_ = 1;
};

/// Wraps the simulated object a call handed out, or passes its failure on.
template <class Com, class Simulated, class I>
HRESULT giveObject(HRESULT result, Simulated* simulated, I** out) {
  if (!out) {
    if (simulated)
      simulated->Release();
    return E_POINTER;
  }
  *out = nullptr;
  if (FAILED(result))
    return result;
  *out = new Com(simulated);
  return result;
}

class Capacity : public ComObject<IVsCapacity> {
public:
  explicit Capacity(VsCapacityObject* simulated) : simulated_(simulated) {}
  VS_COM_CAPACITY_SLOTS_7_9(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE get_MaxSystemCapacity(VARIANT* capacity) override {
    VsVariant value;
    HRESULT result = simulated_->get_MaxSystemCapacity(&value);
    return giveVariant(result, value, capacity);
  }

private:
  RefHolder<VsCapacityObject> simulated_;
};

class GuestParameters : public ComObject<IVsGuestParameters> {
public:
  explicit GuestParameters(VsGuestParameterObject* simulated)
      : simulated_(simulated) {}
  VS_COM_PARAMETERS_SLOTS_7_8(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE SetParameter(BSTR name, BSTR value) override {
    return simulated_->SetParameter(bstrText(name), bstrText(value));
  }

private:
  RefHolder<VsGuestParameterObject> simulated_;
};

class Machine : public ComObject<IVsVirtualMachine> {
public:
  explicit Machine(VsVirtualMachineObject* simulated) : simulated_(simulated) {}
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
    std::wstring text;
    HRESULT result = simulated_->get_Name(&text);
    return giveText(result, text, name);
  }
  VS_COM_MACHINE_SLOTS_8_10(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE get_CapacityObject(IVsCapacity** out) override {
    VsCapacityObject* capacity = nullptr;
    HRESULT result = simulated_->get_CapacityObject(&capacity);
    return giveObject<Capacity>(result, capacity, out);
  }
  HRESULT STDMETHODCALLTYPE
  get_GuestParameterObject(IVsGuestParameters** out) override {
    VsGuestParameterObject* parameters = nullptr;
    HRESULT result = simulated_->get_GuestParameterObject(&parameters);
    return giveObject<GuestParameters>(result, parameters, out);
  }
  VS_COM_MACHINE_SLOTS_13_22(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE get_State(LONG* state) override {
    if (!state)
      return E_POINTER;
    int32_t value = 0;
    HRESULT result = simulated_->get_State(&value);
    if (SUCCEEDED(result))
      *state = value;
    return result;
  }
  VS_COM_MACHINE_SLOTS_24_79(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE GetConfigurationValue(BSTR key,
                                                  VARIANT* out) override {
    VsVariant value;
    HRESULT result = simulated_->GetConfigurationValue(bstrText(key), &value);
    return giveVariant(result, value, out);
  }

private:
  RefHolder<VsVirtualMachineObject> simulated_;
};

class Collection : public ComObject<IVsVirtualMachineCollection> {
public:
  explicit Collection(VsVirtualMachineCollection* simulated)
      : simulated_(simulated) {}
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    if (!count)
      return E_POINTER;
    int32_t value = 0;
    HRESULT result = simulated_->get_Count(&value);
    if (SUCCEEDED(result))
      *count = value;
    return result;
  }
  HRESULT STDMETHODCALLTYPE get_Item(LONG index,
                                     IVsVirtualMachine** out) override {
    VsVirtualMachineObject* machine = nullptr;
    HRESULT result = simulated_->get_Item(index, &machine);
    return giveObject<Machine>(result, machine, out);
  }

private:
  RefHolder<VsVirtualMachineCollection> simulated_;
};

class Server : public ComObject<IVsVirtualServer> {
public:
  explicit Server(VsVirtualServerObject* simulated) : simulated_(simulated) {}
  VS_COM_SERVER_SLOTS_7_15(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE
  get_VirtualMachines(IVsVirtualMachineCollection** out) override {
    VsVirtualMachineCollection* machines = nullptr;
    HRESULT result = simulated_->get_VirtualMachines(&machines);
    return giveObject<Collection>(result, machines, out);
  }
  VS_COM_SERVER_SLOTS_17_84(VS_COM_IMPLEMENT_SLOT)
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
    std::wstring text;
    HRESULT result = simulated_->get_Name(&text);
    return giveText(result, text, name);
  }
  HRESULT STDMETHODCALLTYPE get_Version(BSTR* version) override {
    std::wstring text;
    HRESULT result = simulated_->get_Version(&text);
    return giveText(result, text, version);
  }

protected:
  bool isOwnInterface(REFIID iid) const override {
    return IsEqualIID(iid, kVsApplicationInterface);
  }

private:
  RefHolder<VsVirtualServerObject> simulated_;
};

/// Makes the application object from the model the environment names.
class Factory : public IClassFactory {
public:
  Factory() { InterlockedIncrement(&liveComObjects); }
  virtual ~Factory() { InterlockedDecrement(&liveComObjects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG count = InterlockedDecrement(&references_);
    if (count == 0)
      delete this;
    return static_cast<ULONG>(count);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                           void** out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (outer)
      return CLASS_E_NOAGGREGATION;
    std::string model, record;
    bool hasModel = environmentValue(kVsModelVariable, &model);
    bool hasRecord = environmentValue(kVsParametersVariable, &record);
    VsVirtualServerObject* simulated = nullptr;
    HRESULT result = vsCreateSimulatedServer(
        hasModel ? model.c_str() : nullptr,
        hasRecord ? record.c_str() : nullptr, &simulated);
    if (FAILED(result)) {
      // The server runs inside the enabler: the line reaches its standard
      // error, where a person sees it; the enabler's log stays as it is.
      std::string problem = vsModelProblem(hasModel ? model.c_str() : nullptr);
      if (!problem.empty())
        fprintf(stderr, "simulated Virtual Server: %s\n", problem.c_str());
      return result;
    }
    Server* server = new Server(simulated);
    result = server->QueryInterface(iid, out);
    server->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&serverLocks);
    else
      InterlockedDecrement(&serverLocks);
    return S_OK;
  }

private:
  LONG references_ = 1;
};

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    serverModule = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    std::string record;
    if (environmentValue(kVsParametersVariable, &record))
      vsRecordLeakedObjects(record.c_str());
  }
  return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid,
                                         void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(classId, kVsApplicationClass))
    return CLASS_E_CLASSNOTAVAILABLE;
  Factory* factory = new Factory;
  HRESULT result = factory->QueryInterface(iid, out);
  factory->Release();
  return result;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return liveComObjects == 0 && serverLocks == 0 &&
                 vsSimulatedObjectCount() == 0
             ? S_OK
             : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH + 1];
  DWORD length = GetModuleFileNameW(serverModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return SELFREG_E_CLASS;
  std::wstring key = std::wstring(kClassKey) + L"\\InprocServer32";
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE,
                      nullptr, &handle, nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  const wchar_t model[] = L"Both";
  LONG written = RegSetValueExW(handle, nullptr, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(path),
                                (length + 1) * sizeof(wchar_t));
  if (written == ERROR_SUCCESS)
    written =
        RegSetValueExW(handle, L"ThreadingModel", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(model), sizeof model);
  RegCloseKey(handle);
  return written == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND
             ? S_OK
             : SELFREG_E_CLASS;
}

} // extern "C"
