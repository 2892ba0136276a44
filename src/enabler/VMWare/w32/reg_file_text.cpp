// reg_file_text.cpp: decoding the export file's bytes into lines.
#include "reg_file_text.h"

#include <stdint.h>

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

std::string trimRight(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && isBlank(text[end - 1]))
    --end;
  return text.substr(0, end);
}

std::string trimLeft(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && isBlank(text[start]))
    ++start;
  return text.substr(start);
}

namespace {

void appendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16LE code units (after the byte order mark) to UTF-8; false for an odd
// byte count or a surrogate without its partner.
bool utf16ToUtf8(const std::string& bytes, size_t start, std::string* out) {
  if ((bytes.size() - start) % 2 != 0)
    return false;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  out->clear();
  for (size_t i = start; i < bytes.size(); i += 2) {
    uint32_t code = unit(i);
    if (code >= 0xDC00 && code <= 0xDFFF)
      return false;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 2 >= bytes.size())
        return false;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF)
        return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendUtf8(*out, code);
  }
  return true;
}

} // namespace

// The file's text as UTF-8, without a byte order mark.
bool decodeText(const std::string& bytes, std::string* text) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE)
    return utf16ToUtf8(bytes, 2, text);
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    *text = bytes.substr(3);
  else
    *text = bytes;
  return true;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
