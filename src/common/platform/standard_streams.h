// standard_streams.h: the standard streams as plain bytes, whether a person
// is typing at standard input, and why reading it failed. No OS header here.
#ifndef ENABLER_PLATFORM_STANDARD_STREAMS_H
#define ENABLER_PLATFORM_STANDARD_STREAMS_H

#include "common/platform/system_error.h"

/// The standard streams, combined with '|' for setBinaryStdio.
enum StandardStream : unsigned {
  kStandardInput = 1u << 0,
  kStandardOutput = 1u << 1,
  kStandardError = 1u << 2,
};

/// Puts the `streams` named (StandardStream values) in binary mode where the
/// platform has a text mode, so that CR, NUL and 0x1A bytes pass unchanged
/// and a line feed is written as itself. The others keep their mode: text a
/// person reads, such as a program's messages on standard error, keeps the
/// system's line ends.
void setBinaryStdio(unsigned streams);

/// True when standard input is a console (a terminal natively), where a read
/// would wait for a person to type; false for a file, a pipe or the null
/// device.
bool standardInputIsConsole();

/// Why the last read of standard input failed, for the read whose stream
/// error flag was just set; call it before anything else can change the
/// runtime's error values.
SystemError standardInputReadError();

#endif
