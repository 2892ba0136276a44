// system_error_win32.cpp: Win32 half of the error reasons: GetLastError, the
// FormatMessage text of the system's message table, and that text on a
// console.
#include "common/platform/system_error.h"

#include "common/platform/system_error_win32.h"

#include <windows.h>

long noSuchFileErrorCode() {
  return ERROR_FILE_NOT_FOUND;
}

#include <io.h>
#include <stdarg.h>
#include <stdio.h>

namespace {

std::string formattedText(const char* format, va_list arguments) {
  va_list counting;
  va_copy(counting, arguments);
  int size = vsnprintf(nullptr, 0, format, counting);
  va_end(counting);
  if (size <= 0)
    return std::string();
  std::string text(static_cast<size_t>(size) + 1, '\0');
  vsnprintf(&text[0], text.size(), format, arguments);
  text.resize(static_cast<size_t>(size));
  return text;
}

} // namespace

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

std::string formatMessageText(DWORD flags, const void* source, DWORD code) {
  // The system allocates the text: a fixed buffer too small for a long one
  // made FormatMessage fail as a whole.
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      source, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (buffer) {
    text.assign(buffer, length);
    LocalFree(buffer);
  }
  // The system's texts end with a full stop and CR LF; the message puts the
  // code behind the text.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                           text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

std::string textForConsole(const std::string& text, UINT consoleCodePage) {
  const UINT ansi = GetACP();
  if (consoleCodePage == 0 || consoleCodePage == ansi || text.empty())
    return text;
  const int size = static_cast<int>(text.size());
  int units = MultiByteToWideChar(ansi, 0, text.data(), size, nullptr, 0);
  if (units <= 0)
    return text;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(ansi, 0, text.data(), size, &wide[0], units);
  int bytes = WideCharToMultiByte(consoleCodePage, 0, wide.data(), units,
                                  nullptr, 0, nullptr, nullptr);
  if (bytes <= 0)
    return text;
  std::string converted(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(consoleCodePage, 0, wide.data(), units, &converted[0],
                      bytes, nullptr, nullptr);
  return converted;
}

std::string systemErrorText(long code) {
  std::string text = formatMessageText(FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                       static_cast<DWORD>(code));
  return text.empty() ? "unknown error" : text;
}

std::string resultCodeText(long result) {
  std::string text = systemErrorText(result);
  if (text == "unknown error")
    return hexResultCode(result);
  return hexResultCode(result) + " (" + text + ")";
}

void printDiagnostic(FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = formattedText(format, arguments);
  va_end(arguments);
  // A console shows its output code page, the OEM one on most hosts, which
  // would garble the ANSI bytes of a German or French system text. A file or
  // a pipe gets the bytes as they are.
  DWORD mode = 0;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode))
    text = textForConsole(text, GetConsoleOutputCP());
  fwrite(text.data(), 1, text.size(), stream);
}
