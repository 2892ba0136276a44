// system_error_win32.h: the two conversions of the Win32 error reasons that
// their tests reach directly: a FormatMessage text of any length, and a text
// for a console that shows another code page than the programs write.
#ifndef ENABLER_PLATFORM_SYSTEM_ERROR_WIN32_H
#define ENABLER_PLATFORM_SYSTEM_ERROR_WIN32_H

#include <windows.h>

#include <string>

/// What FormatMessageA makes of `code` (or of the text at `source`) with
/// `flags` besides FORMAT_MESSAGE_ALLOCATE_BUFFER and
/// FORMAT_MESSAGE_IGNORE_INSERTS, whole however long, without the trailing
/// line end, blanks and full stop; empty when there is no text.
std::string formatMessageText(DWORD flags, const void* source, DWORD code);

/// `text`, in the ANSI code page, as the bytes of code page `consoleCodePage`
/// that show the same characters; a character that page lacks becomes the
/// page's nearest or its "?". `text` itself when the two pages are the same,
/// when `consoleCodePage` is 0 or when the conversion fails.
std::string textForConsole(const std::string& text, UINT consoleCodePage);

#endif
