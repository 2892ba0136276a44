// node_identity_win32.cpp: Win32 half of the node identity. The machine's
// identity comes from WMI: the first instance of Win32_BIOS and of
// Win32_ComputerSystemProduct in ROOT\CIMV2 on the local machine.
#include "node_identity.h"

#include "common/platform/ref_holder.h"
#include "common/platform/scoped_resource_win32.h"
#include "common/platform/system_error.h"

#include <windows.h>

#include <oleauto.h>
#include <stdlib.h>
#include <wbemidl.h>

namespace {

// {4590F811-1D3A-11D0-891F-00AA004B2E24}
const CLSID kClsidWbemLocator = {
    0x4590F811,
    0x1D3A,
    0x11D0,
    {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
// {DC12A687-737F-11CF-884D-00AA004B2E24}
const IID kIidWbemLocator = {0xDC12A687,
                             0x737F,
                             0x11CF,
                             {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

const long kQueryFlags =
    WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY; // 0x30

/// The calling thread's membership in the multithreaded apartment for the
/// length of one query. S_FALSE (already a member) counts as joined and is
/// balanced like a first join; a refused join is not balanced.
class ComApartment {
public:
  ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (joined())
      CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool joined() const { return SUCCEEDED(hr_); }
  HRESULT result() const { return hr_; }

private:
  HRESULT hr_;
};

// The BSTR as a malloc'd narrow text in the ANSI code page, default flags.
// A null BSTR is the empty string. Null when memory or the conversion fails.
char* narrowCopy(BSTR text) {
  int units = static_cast<int>(SysStringLen(text));
  int bytes = units == 0 ? 0
                         : WideCharToMultiByte(CP_ACP, 0, text, units, nullptr,
                                               0, nullptr, nullptr);
  if (units > 0 && bytes <= 0)
    return nullptr;
  char* narrow = static_cast<char*>(malloc(static_cast<size_t>(bytes) + 1));
  if (!narrow)
    return nullptr;
  if (bytes > 0)
    WideCharToMultiByte(CP_ACP, 0, text, units, narrow, bytes, nullptr,
                        nullptr);
  narrow[bytes] = 0;
  return narrow;
}

/// Where the reasons go: nowhere when the caller keeps none.
class Problems {
public:
  explicit Problems(IdentityProblems* kept) : kept_(kept) {}
  void note(const std::string& text) {
    if (kept_)
      kept_->push_back(text);
  }
  void failed(const std::string& what, HRESULT hr) {
    note(what + " failed with " + resultCodeText(hr));
  }

private:
  IdentityProblems* kept_;
};

// Reads the string property `name` of `object` (of `className`) into
// `*field`. The VARIANT is the caller's, initialised before the first read
// from this object; it is cleared after each read. A failed read or a value
// that is not a string (a null property is VT_NULL) leaves the field absent.
void readProperty(IWbemClassObject* object, const char* className,
                  const wchar_t* name, VARIANT* value, char** field,
                  Problems& problems) {
  std::string property = std::string(className) + ".";
  for (const wchar_t* c = name; *c; ++c)
    property += static_cast<char>(*c);
  HRESULT hr = object->Get(name, 0, value, nullptr, nullptr);
  if (FAILED(hr))
    problems.failed("WMI " + property, hr);
  else if (value->vt == VT_NULL || value->vt == VT_EMPTY)
    problems.note("WMI " + property + ": the property is null");
  else if (value->vt != VT_BSTR)
    problems.note("WMI " + property + ": the property is no text");
  else if (!(*field = narrowCopy(value->bstrVal)))
    problems.note("WMI " + property + ": the text cannot be converted");
  VariantClear(value);
}

// Runs `query` and takes its first object, waiting without time limit. False
// when the query fails or yields nothing; the enumerator is handed back in
// either case so that the caller's holder releases it.
bool firstInstance(IWbemServices* services, const wchar_t* query,
                   const char* className,
                   RefHolder<IEnumWbemClassObject>& enumerator,
                   RefHolder<IWbemClassObject>& object, Problems& problems) {
  ScopedBstr language(SysAllocString(L"WQL"));
  ScopedBstr text(SysAllocString(query));
  if (!language.get() || !text.get()) {
    problems.note(std::string("WMI ") + className + ": out of memory");
    return false;
  }
  HRESULT hr = services->ExecQuery(language.get(), text.get(), kQueryFlags,
                                   nullptr, enumerator.put());
  if (FAILED(hr) || !enumerator.get()) {
    problems.failed(std::string("WMI query of ") + className, hr);
    return false;
  }
  ULONG returned = 0;
  hr = enumerator->Next(WBEM_INFINITE, 1, object.put(), &returned);
  if (FAILED(hr)) {
    problems.failed(std::string("WMI ") + className + " instance", hr);
    return false;
  }
  if (returned != 1 || !object.get()) {
    problems.note(std::string("WMI ") + className + ": no instance");
    return false;
  }
  return true;
}

// Connects to ROOT\CIMV2 on the local machine with the proxy blanket WMI
// needs for impersonated calls.
bool connectServices(RefHolder<IWbemLocator>& locator,
                     RefHolder<IWbemServices>& services, Problems& problems) {
  HRESULT hr =
      CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                       kIidWbemLocator, locator.putVoid());
  if (FAILED(hr) || !locator.get()) {
    problems.failed("WMI: creating the locator", hr);
    return false;
  }
  ScopedBstr space(SysAllocString(L"ROOT\\CIMV2"));
  if (!space.get()) {
    problems.note("WMI: out of memory");
    return false;
  }
  hr = locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0,
                              nullptr, nullptr, services.put());
  if (FAILED(hr) || !services.get()) {
    problems.failed("WMI: connecting to ROOT\\CIMV2", hr);
    return false;
  }
  hr = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE,
                         nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr))
    problems.failed("WMI: setting the proxy blanket", hr);
  return SUCCEEDED(hr);
}

} // namespace

bool getNodeIdentity(NodeIdentity* identity, IdentityProblems* kept) {
  clearNodeIdentity(identity);
  Problems problems(kept);
  // Declared first, so every interface below is released before the thread
  // leaves the apartment.
  ComApartment apartment;
  if (!apartment.joined()) {
    problems.failed("WMI: joining COM's multithreaded apartment",
                    apartment.result());
    return false;
  }

  RefHolder<IWbemLocator> locator;
  RefHolder<IWbemServices> services;
  if (!connectServices(locator, services, problems))
    return false;

  RefHolder<IEnumWbemClassObject> biosList;
  RefHolder<IWbemClassObject> bios;
  if (!firstInstance(services.get(), L"Select * from Win32_BIOS", "Win32_BIOS",
                     biosList, bios, problems))
    return false;
  VARIANT value;
  VariantInit(&value);
  readProperty(bios.get(), "Win32_BIOS", L"SerialNumber", &value,
               &identity->nodeId, problems);
  readProperty(bios.get(), "Win32_BIOS", L"Manufacturer", &value,
               &identity->manufacturer, problems);
  readProperty(bios.get(), "Win32_BIOS", L"Version", &value, &identity->version,
               problems);

  RefHolder<IEnumWbemClassObject> productList;
  RefHolder<IWbemClassObject> product;
  if (!firstInstance(
          services.get(), L"Select * from Win32_ComputerSystemProduct",
          "Win32_ComputerSystemProduct", productList, product, problems))
    return false;
  VariantInit(&value);
  readProperty(product.get(), "Win32_ComputerSystemProduct", L"Name", &value,
               &identity->product, problems);
  readProperty(product.get(), "Win32_ComputerSystemProduct", L"Version", &value,
               &identity->type, problems);
  return true;
}
