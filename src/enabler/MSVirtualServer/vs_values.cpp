// vs_values.cpp: the platform-independent part of the interface's values:
// UTF-8 for the simulated Virtual Server's files. wchar_t holds UTF-16 units
// on Windows and whole code points natively; both are handled here.
#include "enabler/MSVirtualServer/vs_values.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(std::wstring* out, char32_t code) {
  if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
    code -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    return;
  }
  out->push_back(static_cast<wchar_t>(code));
}

void appendUtf8(std::string* out, char32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

/// Length of the sequence a lead byte starts, 0 for a byte that cannot lead.
int sequenceLength(unsigned char lead) {
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    return 2;
  if (lead >= 0xE0 && lead <= 0xEF)
    return 3;
  if (lead >= 0xF0 && lead <= 0xF4)
    return 4;
  return 0;
}

/// Low surrogates that stand for one byte each, outside valid UTF-16 text.
constexpr char32_t kByteEscape = 0xDC00;

std::wstring decodeUtf8(const std::string& text, bool keepBytes) {
  std::wstring out;
  size_t at = 0;
  while (at < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    int length = sequenceLength(lead);
    char32_t invalid = keepBytes ? kByteEscape + lead : kReplacement;
    if (length == 0 || at + length > text.size()) {
      appendCodePoint(&out, invalid);
      ++at;
      continue;
    }
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = true;
    for (int i = 1; i < length; ++i) {
      unsigned char next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and codes past U+10FFFF are not UTF-8.
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < kSmallest[length] || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      appendCodePoint(&out, invalid);
      ++at;
      continue;
    }
    appendCodePoint(&out, code);
    at += length;
  }
  return out;
}

} // namespace

std::wstring vsWideFromUtf8(const std::string& text) {
  return decodeUtf8(text, false);
}

std::wstring vsWideFromBytes(const std::string& text) {
  return decodeUtf8(text, true);
}

std::string vsUtf8FromWide(const std::wstring& text) {
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    char32_t code = static_cast<char32_t>(text[at]);
    if (sizeof(wchar_t) == 2)
      code &= 0xFFFF;
    if (code >= 0xD800 && code <= 0xDBFF && at + 1 < text.size()) {
      char32_t low = static_cast<char32_t>(text[at + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(&out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
        ++at;
        continue;
      }
    }
    if (code >= kByteEscape + 0x80 && code <= kByteEscape + 0xFF) {
      out.push_back(static_cast<char>(code - kByteEscape));
      continue;
    }
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
      code = kReplacement;
    appendUtf8(&out, code);
  }
  return out;
}
