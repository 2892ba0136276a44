// script_host.h: what the retrieval run needs from the platform: the Perl
// interpreter's file name, the PATH list separator, the short form of a
// directory, the PATH variable and the start of the interpreter. Each platform
// file defines all of them.
#ifndef ENABLER_VMWARE_SCRIPT_HOST_H
#define ENABLER_VMWARE_SCRIPT_HOST_H

#include "retrieve_command.h"

#include <string>

/// "perl.exe" on Windows, "perl" natively.
const char* perlInterpreterName();
/// The separator of PATH lists: ';' on Windows, ':' natively.
char searchPathSeparator();

/// The short (8.3) form of `path`, at most 1023 characters: GetShortPathNameA
/// on Windows; natively `path` itself when it names an existing file or
/// directory. False when there is none or it would not fit.
bool getShortPath(const char* path, std::string* shortPath);

/// The process's PATH value; empty when it is unset.
std::string currentSearchPath();
/// Sets the process's PATH, which the interpreter inherits; false on failure.
bool setSearchPath(const std::string& value);

/// Starts `command` as a child process that inherits the standard handles,
/// the environment and the current directory, and waits for its end without
/// time limit. Its exit status, or -1 when it could not be started.
int runScript(const ScriptCommand& command);

#endif
