// files.h: reading a whole file that the programs are told about (a model, a
// registry export, a recorded processor, a DMI attribute), opening the run's
// log and a record to append to, without trusting what lies at the path. No
// OS header here.
#ifndef ENABLER_PLATFORM_FILES_H
#define ENABLER_PLATFORM_FILES_H

#include "common/platform/system_error.h"

#include <stddef.h>
#include <stdio.h>

#include <string>

/// The whole content of the regular file at `path` into `*content`, read in
/// binary. False, with the reason in `*error` when not null, when the path is
/// missing or unreadable, is anything but a regular file (a directory, a
/// named pipe, a device; none of them is waited for), or holds more than
/// `maxBytes` bytes (nothing beyond that is read).
bool readRegularFile(const std::string& path, size_t maxBytes,
                     std::string* content, SystemError* error = nullptr);

/// A regular file opened to be read in pieces, so that its content need not
/// be held whole.
struct RegularFile;

/// Opens `path` as readRegularFile does, with the same reasons for a refusal.
/// Null, with the reason in `*error` when not null, when it cannot be used.
/// The caller closes it with closeRegularFile.
RegularFile* openRegularFile(const std::string& path, size_t maxBytes,
                             SystemError* error = nullptr);
/// Reads the next bytes, at most `size`, into `buffer`: the count, 0 at the
/// end, or -1, with the reason in `*error` when not null, when the read
/// failed or the file passed `maxBytes` (the reasons readRegularFile gives).
long readRegularFilePart(RegularFile* file, char* buffer, size_t size,
                         SystemError* error = nullptr);
void closeRegularFile(RegularFile* file);

/// Opens `path` as the log of this run: created when absent, emptied when it
/// exists, for writing in text mode (on Windows each "\n" becomes CR LF).
/// The caller closes the stream with fclose. Null, with the reason in `*error`
/// when not null and the file left as it was, when the path is a link (a
/// symbolic link, on Windows a junction too; never followed), has a second
/// name, is anything but a regular file (a named pipe or a device is refused
/// without waiting for it; on Windows a file that deduplication, storage
/// tiering or a cloud service keeps as a reparse point is a regular file),
/// is held as its log by another run that has not ended, or cannot be
/// created. While it is open the file is held for this run, and no child
/// process inherits it.
FILE* openRunLog(const std::string& path, SystemError* error = nullptr);

/// Opens `path` for appending in binary, created when absent, without ever
/// waiting: a named pipe without reader fails at once, and natively a write
/// that would block (a named pipe nobody reads) fails instead. The caller
/// closes the stream with fclose. Null, with the reason in `*error` when not
/// null, when it cannot be opened. No child process inherits it.
FILE* openForAppending(const std::string& path, SystemError* error = nullptr);

#endif
