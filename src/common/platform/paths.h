// paths.h: the platform's facts about paths and programs: separators, the
// file name of a program, absolute paths, the running program's own path and
// the short (8.3) form of a directory. No OS header here.
#ifndef ENABLER_PLATFORM_PATHS_H
#define ENABLER_PLATFORM_PATHS_H

#include "common/platform/system_error.h"

#include <optional>
#include <string>

/// The separator between a directory and a name: '\\' on Windows, '/'
/// natively.
char pathSeparator();

/// The separator of PATH lists: ';' on Windows, ':' natively.
char pathListSeparator();

/// The file name of the program `stem`: "cpuid.exe" on Windows for "cpuid",
/// the stem itself natively.
std::string programFileName(const char* stem);

/// True when `path` begins at a root and so runs as given wherever it is
/// placed. Windows: a drive letter, ':' and a separator ('\\' or '/'), or a
/// leading separator. Natively: a leading '/'.
bool isAbsolutePath(const char* path);

/// True when the system looks for a program given by a bare name in the
/// running executable's own folder first (Windows). Natively a bare name is
/// looked for on PATH alone, where another program of that name may be found.
bool bareProgramNamesStartInOwnFolder();

/// The process's current directory; none when it cannot be learned.
std::optional<std::string> currentDirectory();

/// Writes the full path of the running executable into `buffer`, which holds
/// `size` + 1 bytes: at most `size` characters and a terminator. Gives the
/// number of characters written; `size` or more when the path did not fit
/// (the buffer then holds no usable path); 0 when the query failed, in which
/// case the buffer is left as it was.
unsigned long ownExecutablePath(char* buffer, unsigned long size);

/// The longest short path, in characters, that shortPathName hands back: the
/// short form must fit a buffer of 1024 bytes with its terminator.
constexpr unsigned long kShortPathMax = 1023;

/// The short (8.3) form of `path`: GetShortPathNameA on Windows; natively,
/// where there are no 8.3 names, `path` itself when it names an existing file
/// or directory. False, with the reason in `*error` when not null, when there
/// is none or it would be longer than kShortPathMax.
bool shortPathName(const char* path, std::string* shortPath,
                   SystemError* error = nullptr);

#endif
