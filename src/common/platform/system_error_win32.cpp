// system_error_win32.cpp: Win32 half of the error reasons: GetLastError and
// the FormatMessage text of the system's message table.
#include "common/platform/system_error.h"

#include <windows.h>

SystemError lastSystemError(const std::string& operation) {
  return systemError(operation, static_cast<long>(GetLastError()));
}

long tooLargeErrorCode() {
  return ERROR_FILE_TOO_LARGE;
}

long timedOutErrorCode() {
  return ERROR_TIMEOUT;
}

long outOfMemoryErrorCode() {
  return ERROR_NOT_ENOUGH_MEMORY;
}

std::string systemErrorText(long code) {
  char buffer[512];
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  // The system's texts end with a full stop and CR LF; the message puts the
  // code behind the text.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                           text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "unknown error" : text;
}
