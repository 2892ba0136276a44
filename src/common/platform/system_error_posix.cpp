// system_error_posix.cpp: POSIX half of the error reasons: errno and its
// strerror text.
#include "common/platform/system_error.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

long noSuchFileErrorCode() {
  return ENOENT;
}

SystemError lastSystemError(const std::string& operation) {
  return systemError(operation, errno);
}

long tooLargeErrorCode() {
  return EFBIG;
}

long timedOutErrorCode() {
  return ETIMEDOUT;
}

long outOfMemoryErrorCode() {
  return ENOMEM;
}

std::string systemErrorText(long code) {
  // The programs are single-threaded, so strerror's shared buffer is safe.
  const char* text = strerror(static_cast<int>(code));
  return text && *text ? text : "unknown error";
}

std::string resultCodeText(long result) {
  // The system has no texts for these codes natively.
  return hexResultCode(result);
}

void printDiagnostic(FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stream, format, arguments);
  va_end(arguments);
}
