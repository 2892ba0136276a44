// registry.h: finding the VMware Server (or GSX Server) and VmPerl Scripting
// API installation directories in the registry, in the 32-bit view first and
// the 64-bit view second. The registry itself stands behind an interface, so
// the lookups run against advapi32 on Windows, against a registry export file
// natively, and against any registry a test sets up.
#ifndef ENABLER_VMWARE_REGISTRY_H
#define ENABLER_VMWARE_REGISTRY_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

/// An opened registry key, or a predefined root key, as Windows hands out its
/// HKEY values.
using RegistryKey = void*;

/// HKEY_LOCAL_MACHINE, with the value Windows gives it on 32- and 64-bit
/// builds alike.
inline RegistryKey localMachineKey() {
  return reinterpret_cast<RegistryKey>(
      static_cast<intptr_t>(static_cast<int32_t>(0x80000002u)));
}

// Access rights and view flags of RegOpenKeyExA.
enum : uint32_t {
  kKeyQueryValue = 0x0001,
  kKeyWow64_64Key = 0x0100,
  kKeyWow64_32Key = 0x0200,
};

// Windows error codes the registry answers with.
enum : long {
  kRegistrySuccess = 0,
  kRegistryFileNotFound = 2,  ///< ERROR_FILE_NOT_FOUND: no such key or value
  kRegistryInvalidHandle = 6, ///< ERROR_INVALID_HANDLE
  kRegistryMoreData = 234,    ///< ERROR_MORE_DATA: the value does not fit
};

/// The size of an installation path with its terminating zero, and of the
/// buffer each value is read into.
constexpr uint32_t kInstallPathBytes = 1024;

/// The three registry calls the lookups make, with their Windows meaning.
class Registry {
public:
  virtual ~Registry() = default;
  /// RegOpenKeyExA without options: 0 and the key in `*key`, or an error.
  virtual long openKey(RegistryKey root, const char* subKey, uint32_t access,
                       RegistryKey* key) = 0;
  /// RegQueryValueExA: at most `*size` bytes into `data`; `*size` receives
  /// the size of the stored data. kRegistryMoreData when it does not fit.
  virtual long queryValue(RegistryKey key, const char* name,
                          unsigned char* data, uint32_t* size) = 0;
  /// RegCloseKey.
  virtual long closeKey(RegistryKey key) = 0;
};

/// The machine's registry: advapi32 on Windows; natively the export file
/// named by KEP_REGISTRY_FILE, read once (unset or unreadable: empty).
Registry& systemRegistry();

/// True when the process is a 32-bit process on 64-bit Windows. False where
/// IsWow64Process does not exist or fails, and always natively.
bool isWow64();

/// The WOW64 answer of a lookup: not yet asked, yes or no.
enum class Wow64Answer { Unknown, Yes, No };

/// The installation lookups over one registry. The WOW64 question is asked on
/// the first open and its answer kept for the lookup's life (the run's).
class InstallationRegistry {
public:
  /// `registry` must outlive the lookup; `isWow64` answers the WOW64
  /// question (::isWow64 for the machine).
  InstallationRegistry(Registry& registry, std::function<bool()> isWow64);

  Wow64Answer wow64Answer() const { return wow64_; }

  /// Opens `subKey` below `root` with `access`: in a WOW64 process first in
  /// the 32-bit view, then, when that fails, in the 64-bit view; otherwise
  /// once, with `access` unchanged. The Windows error code of the last
  /// attempt.
  long openRegistryKey(RegistryKey root, const char* subKey, uint32_t access,
                       RegistryKey* key);

  /// The VmPerl Scripting API directory: true and a new 1024-byte copy in
  /// `*path` (the caller frees it; see MallocText), or false and null. The
  /// text is as stored.
  bool getVmPerlInstallPath(char** path);
  /// The VMware Server directory or, failing that, the VMware GSX Server one:
  /// true and a new 1024-byte copy in `*path`, or false with `*path`
  /// untouched.
  bool getServerInstallPath(char** path);

  /// What failed in the lookups since the last call, one text each, oldest
  /// first: the key or value and the view it was looked for in, and why
  /// ("HKEY_LOCAL_MACHINE\SOFTWARE\...\VMware Server in the 32-bit view:
  /// no such key (error 2)"). The list is emptied.
  std::vector<std::string> takeFailures();

private:
  bool readInstallPath(RegistryKey key, const std::string& where, char** path);
  bool lookUpInstallPath(const char* subKey, char** path);
  long openNoting(RegistryKey root, const char* subKey, uint32_t access,
                  RegistryKey* key);
  void noteFailure(const std::string& where, long status, const char* why);

  Registry& registry_;
  std::function<bool()> isWow64_;
  Wow64Answer wow64_ = Wow64Answer::Unknown;
  std::vector<std::string> failures_;
  const char* openedView_ = ""; ///< the view of the last key opened
};

#endif
