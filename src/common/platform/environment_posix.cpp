// environment_posix.cpp: POSIX half of the process environment: getenv,
// setenv and unsetenv, which keep the environ that posix_spawn passes on.
#include "common/platform/environment.h"

#include <stdlib.h>

std::optional<std::string> getEnvironment(const char* name) {
  const char* value = getenv(name);
  if (!value)
    return std::nullopt;
  return std::string(value);
}

bool setEnvironment(const char* name, const std::string& value) {
  return setenv(name, value.c_str(), /*overwrite=*/1) == 0;
}

bool removeEnvironment(const char* name) {
  return unsetenv(name) == 0;
}
