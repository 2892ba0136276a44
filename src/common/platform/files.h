// files.h: reading a whole file that the programs are told about (a model, a
// registry export, a recorded processor, a DMI attribute) without trusting
// what lies at the path. No OS header here.
#ifndef ENABLER_PLATFORM_FILES_H
#define ENABLER_PLATFORM_FILES_H

#include "common/platform/system_error.h"

#include <stddef.h>

#include <string>

/// The whole content of the regular file at `path` into `*content`, read in
/// binary. False, with the reason in `*error` when not null, when the path is
/// missing or unreadable, is anything but a regular file (a directory, a
/// named pipe, a device; none of them is waited for), or holds more than
/// `maxBytes` bytes (nothing beyond that is read).
bool readRegularFile(const std::string& path, size_t maxBytes,
                     std::string* content, SystemError* error = nullptr);

#endif
