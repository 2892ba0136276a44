// binary_stdio.h: standard input and output as plain bytes, whether a
// person is typing at standard input, and why reading it failed.
#ifndef ENABLER_TOOLS_VTDUMP_BINARY_STDIO_H
#define ENABLER_TOOLS_VTDUMP_BINARY_STDIO_H

#include "common/platform/system_error.h"

/// Puts standard input and output in binary mode where the platform has a
/// text mode, so that CR, NUL and 0x1A bytes pass unchanged and a line feed
/// is written as itself.
void setBinaryStdio();

/// True when standard input is a console (a terminal natively), where a read
/// would wait for a person to type; false for a file, a pipe or the null
/// device.
bool standardInputIsConsole();

/// Why the last read of standard input failed, for the read whose stream
/// error flag was just set; call it before anything else can change the
/// runtime's error values.
SystemError standardInputReadError();

#endif
