// registry_posix.cpp: POSIX half of the registry lookups. The registry is the
// export file named by KEP_REGISTRY_FILE, and a native process is never a
// WOW64 one.
#include "registry.h"

#include "common/platform/environment.h"
#include "reg_file.h"

Registry& systemRegistry() {
  // Read once per process, like the machine's registry that does not change
  // under a run.
  static FileRegistry registry([] {
    std::string path = getEnvironment("KEP_REGISTRY_FILE").value_or("");
    return path.empty() ? RegFile() : RegFile::load(path);
  }());
  return registry;
}

bool isWow64() {
  return false;
}
