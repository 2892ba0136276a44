// file_registry.cpp: the registry interface over a registry export file.
#include "reg_file.h"
#include "reg_file_text.h"

#include <string.h>

#include <string>

namespace {

const char kLocalMachine[] = "HKEY_LOCAL_MACHINE";

// An opened key of a FileRegistry: its full path in the file's terms.
struct FileRegistryKey {
  std::string path;
};

// SOFTWARE\X as a 32-bit program sees it on 64-bit Windows: below
// SOFTWARE\Wow6432Node. Other keys, and that node itself, are shared.
std::string wow64View(const std::string& subKey) {
  const std::string software = "software";
  const std::string node = "software\\wow6432node";
  std::string lower = lowerAscii(subKey);
  auto startsWithKey = [&](const std::string& prefix) {
    return lower.compare(0, prefix.size(), prefix) == 0 &&
           (lower.size() == prefix.size() || lower[prefix.size()] == '\\');
  };
  if (!startsWithKey(software) || startsWithKey(node))
    return subKey;
  return subKey.substr(0, software.size()) + "\\Wow6432Node" +
         subKey.substr(software.size());
}

} // namespace

long FileRegistry::openKey(RegistryKey root, const char* subKey,
                           uint32_t access, RegistryKey* key) {
  if (root != localMachineKey() || !subKey)
    return kRegistryFileNotFound;
  std::string path = subKey;
  if (access & kKeyWow64_32Key)
    path = wow64View(path);
  std::string full = kLocalMachine;
  if (!path.empty())
    full += "\\" + path;
  if (!file_.hasKey(full))
    return kRegistryFileNotFound;
  *key = new FileRegistryKey{full};
  return kRegistrySuccess;
}

long FileRegistry::queryValue(RegistryKey key, const char* name,
                              unsigned char* data, uint32_t* size) {
  if (!key || !size)
    return kRegistryInvalidHandle;
  const std::string* text =
      file_.value(static_cast<FileRegistryKey*>(key)->path, name ? name : "");
  if (!text)
    return kRegistryFileNotFound;
  // A string comes back with its terminating zero, as the registry stores it.
  uint32_t needed = static_cast<uint32_t>(text->size() + 1);
  if (!data || *size < needed) {
    *size = needed;
    return data ? kRegistryMoreData : kRegistrySuccess;
  }
  memcpy(data, text->c_str(), needed);
  *size = needed;
  return kRegistrySuccess;
}

long FileRegistry::closeKey(RegistryKey key) {
  if (!key)
    return kRegistryInvalidHandle;
  delete static_cast<FileRegistryKey*>(key);
  return kRegistrySuccess;
}
