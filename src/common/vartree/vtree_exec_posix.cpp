// vtree_exec_posix.cpp: POSIX half of the installation home: "/" separators
// and paths that begin at the root.
#include "common/vartree/vtree_exec_platform.h"

#include <stdlib.h>

const char* vtHomeSeparator() {
  return "/";
}

bool vtIsAbsoluteCommand(const char* command) {
  return command[0] == '/';
}

bool vtReadHomeDir(std::string* value) {
  const char* home = getenv("KEP_HOMEDIR");
  if (!home)
    return false;
  *value = home;
  return true;
}
