// registry_posix.cpp: POSIX half of the registry lookups. The registry is the
// export file named by KEP_REGISTRY_FILE, and a native process is never a
// WOW64 one.
#include "registry.h"

#include "reg_file.h"

#include <stdlib.h>

Registry& systemRegistry() {
  // Read once per process, like the machine's registry that does not change
  // under a run.
  static FileRegistry registry([] {
    const char* path = getenv("KEP_REGISTRY_FILE");
    return path && *path ? RegFile::load(path) : RegFile();
  }());
  return registry;
}

bool isWow64() {
  return false;
}
