// files_win32.h: the decisions of the Win32 half of files.h that its tests
// reach directly, since Wine makes no reparse points to try them on.
#ifndef ENABLER_PLATFORM_FILES_WIN32_H
#define ENABLER_PLATFORM_FILES_WIN32_H

#include "common/platform/system_error.h"

#include <windows.h>

#include <string>

/// Whether a reparse point with `tag` stands for another name: a symbolic
/// link, a junction (mount point) or any other tag that marks itself a name
/// surrogate. Other tags (deduplication, storage tiering, cloud placeholders,
/// compression) keep the file's content in another form, and the file is
/// still itself.
bool isLinkReparseTag(DWORD tag);

/// `path` opened again for the run's log, this time through the file
/// system's filters, when it is still the one disk file, not a directory,
/// with one name, that `checked` describes (volume and file index); else
/// INVALID_HANDLE_VALUE with the reason in `*error`. Nothing is created,
/// emptied or written.
HANDLE reopenCheckedLog(const std::string& path,
                        const BY_HANDLE_FILE_INFORMATION& checked,
                        SystemError* error);

#endif
