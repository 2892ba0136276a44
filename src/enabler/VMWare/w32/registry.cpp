// registry.cpp: the view logic and the installation-path lookups, the same on
// every platform; registry_win32.cpp and registry_posix.cpp give the registry
// and the WOW64 question.
#include "registry.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char kVmPerlKey[] = "SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API";
const char kServerKey[] = "SOFTWARE\\VMware, Inc.\\VMware Server";
const char kGsxServerKey[] = "SOFTWARE\\VMware, Inc.\\VMware GSX Server";
const char kInstallPathValue[] = "InstallPath";

const char* viewName(uint32_t access) {
  if (access & kKeyWow64_32Key)
    return " in the 32-bit view";
  if (access & kKeyWow64_64Key)
    return " in the 64-bit view";
  return "";
}

} // namespace

void InstallationRegistry::noteFailure(const std::string& where, long status,
                                       const char* why) {
  failures_.push_back(where + ": " + why + " (error " + std::to_string(status) +
                      ")");
}

std::vector<std::string> InstallationRegistry::takeFailures() {
  std::vector<std::string> taken;
  taken.swap(failures_);
  return taken;
}

InstallationRegistry::InstallationRegistry(Registry& registry,
                                           std::function<bool()> isWow64)
    : registry_(registry), isWow64_(std::move(isWow64)) {}

// Reads "InstallPath" of an opened key into a new 1024-byte buffer. A value
// that fills the whole buffer without a terminating zero would have to be cut
// to fit; it counts as absent instead, like one that is longer still.
bool InstallationRegistry::readInstallPath(RegistryKey key,
                                           const std::string& where,
                                           char** path) {
  unsigned char buffer[kInstallPathBytes];
  uint32_t size = sizeof buffer;
  const std::string& value = where;
  long status = registry_.queryValue(key, kInstallPathValue, buffer, &size);
  if (status == kRegistryMoreData || size > sizeof buffer ||
      (status == kRegistrySuccess && size == sizeof buffer &&
       memchr(buffer, 0, size) == nullptr)) {
    noteFailure(value, kRegistryMoreData,
                "longer than a path of 1023 characters");
    return false;
  }
  if (status != kRegistrySuccess) {
    noteFailure(value, status,
                status == kRegistryFileNotFound ? "no such value"
                                                : "cannot be read");
    return false;
  }
  if (memchr(buffer, 0, size) == nullptr)
    buffer[size] = 0;
  char* copy = static_cast<char*>(calloc(kInstallPathBytes, 1));
  if (!copy)
    return false;
  strcpy(copy, reinterpret_cast<const char*>(buffer));
  *path = copy;
  return true;
}

// Opens `subKey` for reading and takes its "InstallPath"; every key opened is
// closed again.
bool InstallationRegistry::lookUpInstallPath(const char* subKey, char** path) {
  RegistryKey key = nullptr;
  if (openRegistryKey(localMachineKey(), subKey, kKeyQueryValue, &key) !=
      kRegistrySuccess)
    return false;
  bool found = readInstallPath(key,
                               std::string("HKEY_LOCAL_MACHINE\\") + subKey +
                                   "\\" + kInstallPathValue + openedView_,
                               path);
  registry_.closeKey(key);
  return found;
}

long InstallationRegistry::openRegistryKey(RegistryKey root, const char* subKey,
                                           uint32_t access, RegistryKey* key) {
  if (wow64_ == Wow64Answer::Unknown)
    wow64_ = isWow64_() ? Wow64Answer::Yes : Wow64Answer::No;
  if (wow64_ == Wow64Answer::No)
    return openNoting(root, subKey, access, key);
  // A 32-bit enabler on 64-bit Windows: VMware registers itself as a 32-bit
  // product, so its own view comes first; the 64-bit view is the fallback.
  long status = openNoting(root, subKey, access | kKeyWow64_32Key, key);
  if (status == kRegistrySuccess)
    return status;
  return openNoting(root, subKey, access | kKeyWow64_64Key, key);
}

long InstallationRegistry::openNoting(RegistryKey root, const char* subKey,
                                      uint32_t access, RegistryKey* key) {
  long status = registry_.openKey(root, subKey, access, key);
  if (status == kRegistrySuccess)
    openedView_ = viewName(access);
  else
    noteFailure(
        std::string(root == localMachineKey() ? "HKEY_LOCAL_MACHINE\\" : "") +
            subKey + viewName(access),
        status,
        status == kRegistryFileNotFound ? "no such key" : "cannot be opened");
  return status;
}

bool InstallationRegistry::getVmPerlInstallPath(char** path) {
  *path = nullptr;
  return lookUpInstallPath(kVmPerlKey, path);
}

bool InstallationRegistry::getServerInstallPath(char** path) {
  return lookUpInstallPath(kServerKey, path) ||
         lookUpInstallPath(kGsxServerKey, path);
}
