// registry_win32.cpp: Win32 half of the registry lookups: advapi32 and the
// IsWow64Process question. Only Win32 calls live here; the view logic is in
// registry.cpp.
#include "registry.h"

#include <windows.h>

namespace {

HKEY toHkey(RegistryKey key) {
  return static_cast<HKEY>(key);
}

class Win32Registry : public Registry {
public:
  long openKey(RegistryKey root, const char* subKey, uint32_t access,
               RegistryKey* key) override {
    HKEY opened = nullptr;
    LONG status =
        RegOpenKeyExA(toHkey(root), subKey, /*ulOptions=*/0, access, &opened);
    if (status == ERROR_SUCCESS)
      *key = opened;
    return status;
  }

  long queryValue(RegistryKey key, const char* name, unsigned char* data,
                  uint32_t* size) override {
    DWORD length = *size;
    LONG status =
        RegQueryValueExA(toHkey(key), name, nullptr, nullptr, data, &length);
    *size = length;
    return status;
  }

  long closeKey(RegistryKey key) override { return RegCloseKey(toHkey(key)); }
};

} // namespace

Registry& systemRegistry() {
  static Win32Registry registry;
  return registry;
}

bool isWow64() {
  // Looked up at run time: Windows versions before XP SP2 lack the function,
  // and there the process cannot be a WOW64 one.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleA("kernel32");
  if (!kernel)
    return false;
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  if (!isWow64Process || !isWow64Process(GetCurrentProcess(), &wow64))
    return false;
  return wow64 != FALSE;
}
