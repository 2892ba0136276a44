// reg_file_text.h: the text side of the registry export file: the file's
// bytes decoded (UTF-16LE or ANSI taken as UTF-8), lines, blanks and ASCII
// case. Internal to the reader (reg_file.cpp) and the registry over it
// (file_registry.cpp).
#ifndef ENABLER_VMWARE_REG_FILE_TEXT_H
#define ENABLER_VMWARE_REG_FILE_TEXT_H

#include <string>
#include <vector>

/// `text` with the ASCII letters in lower case; other bytes unchanged.
std::string lowerAscii(std::string text);

/// A blank or a tab.
bool isBlank(char c);

/// 0 to 9, a to f, A to F.
bool isHexDigit(char c);

/// `text` without blanks and tabs at its end, or at its start.
std::string trimRight(const std::string& text);
std::string trimLeft(const std::string& text);

/// The file's text as UTF-8, without a byte order mark: UTF-16LE after its
/// mark, anything else as it is. False for UTF-16 that does not decode (an
/// odd byte count, a surrogate without its partner).
bool decodeText(const std::string& bytes, std::string* text);

/// The text's lines, without their CR LF or LF ends.
std::vector<std::string> splitLines(const std::string& text);

#endif
