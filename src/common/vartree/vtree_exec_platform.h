// vtree_exec_platform.h: the small facts about the installation home that
// differ between Windows and the native build; each platform file defines
// them.
#ifndef ENABLER_VARTREE_VTREE_EXEC_PLATFORM_H
#define ENABLER_VARTREE_VTREE_EXEC_PLATFORM_H

#include <string>

/// The separator put between the home directory, "bin" and the command:
/// "\" on Windows, "/" natively.
const char* vtHomeSeparator();

/// True when `command` is an absolute path, which runs as given even with a
/// home directory set. Windows: a drive letter, ":" and a separator ("\" or
/// "/"), or a leading separator. Natively: a leading "/".
bool vtIsAbsoluteCommand(const char* command);

/// The value of KEP_HOMEDIR in the process environment into `value`; false
/// when it is not set. An empty value is set.
bool vtReadHomeDir(std::string* value);

/// `home`, separator, "bin", separator and `command`, nothing trimmed or
/// added.
std::string vtHomeCommand(const std::string& home, const char* command);

#endif
