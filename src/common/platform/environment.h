// environment.h: the process environment, as the processes that the enabler
// starts will inherit it. No OS header here.
#ifndef ENABLER_PLATFORM_ENVIRONMENT_H
#define ENABLER_PLATFORM_ENVIRONMENT_H

#include <optional>
#include <string>

/// The value of `name`; nothing when it is not set. A variable set to the
/// empty text is set (its value is empty).
std::optional<std::string> getEnvironment(const char* name);

/// Sets `name` to `value`; false when the system refused (for example a value
/// longer than Windows allows).
bool setEnvironment(const char* name, const std::string& value);

/// Removes `name`; true also when it was not set.
bool removeEnvironment(const char* name);

#endif
