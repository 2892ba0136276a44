// system_error.h: an operating-system failure kept with its reason, so that
// the caller can tell "not found" from "access denied" from "not a valid
// Win32 application" and decide where to show it. No OS header here.
#ifndef ENABLER_PLATFORM_SYSTEM_ERROR_H
#define ENABLER_PLATFORM_SYSTEM_ERROR_H

#include <stdio.h>

#include <string>

/// What was attempted, the system's code for the failure (errno natively,
/// GetLastError() on Windows) and the system's own text for that code. A
/// default-made one means "no failure".
struct SystemError {
  std::string operation;
  long code = 0;
  std::string text;

  bool failed() const { return !operation.empty(); }
  /// "operation: text (error code)", or the empty text when nothing failed.
  std::string message() const;
};

/// The failure of `operation` with the system's code `code`.
SystemError systemError(const std::string& operation, long code);
/// The failure of `operation` with the calling thread's last error: errno
/// natively, GetLastError() on Windows. Call it right after the failing call.
SystemError lastSystemError(const std::string& operation);

/// The system's codes for three failures that the programs decide themselves:
/// more data than they accept (EFBIG natively, ERROR_FILE_TOO_LARGE on
/// Windows), a wait that outlasted its limit (ETIMEDOUT, ERROR_TIMEOUT) and
/// memory that ran out (ENOMEM, ERROR_NOT_ENOUGH_MEMORY).
long tooLargeErrorCode();
/// The system's code for a file that is not there (ENOENT natively,
/// ERROR_FILE_NOT_FOUND on Windows).
long noSuchFileErrorCode();
long timedOutErrorCode();
long outOfMemoryErrorCode();

/// The system's text for `code`, without a trailing line end or full stop;
/// "unknown error" when the system has none.
std::string systemErrorText(long code);

/// A COM or WMI result code as hexadecimal ("0x80070005"), followed on
/// Windows by the system's text for it in parentheses where the system has
/// one ("0x80070005 (Access is denied)").
std::string resultCodeText(long result);
/// The hexadecimal part alone.
std::string hexResultCode(long result);
/// Writes the formatted line to `stream`, as fprintf would, for a line that
/// holds a system's text (a SystemError's message). The programs' texts are
/// in the system's narrow encoding, on Windows the ANSI code page; a console
/// there gets them in its own output code page, so that its reader sees the
/// same characters. A file or a pipe gets the bytes as they are.
void printDiagnostic(FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/// Keeps `error` in `*out` when `out` is not null.
inline void keepSystemError(SystemError* out, SystemError error) {
  if (out)
    *out = std::move(error);
}

#endif
