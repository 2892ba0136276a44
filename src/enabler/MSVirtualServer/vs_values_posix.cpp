// vs_values_posix.cpp: the native half of the interface's values. There is no
// OLE Automation here, so the VARIANT conversions the enabler relies on are
// made by hand with the same results: integers exactly, doubles rounded half
// to even, texts parsed as numbers, and numbers written with up to 15
// significant digits and the decimal separator of the user's locale.
#include "enabler/MSVirtualServer/vs_values.h"

#include <langinfo.h>
#include <locale.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct VsVariant::Impl {
  enum Type { Empty, Real, Int, Byte, Text };
  Type type = Empty;
  double real = 0.0;
  int32_t integer = 0;
  uint8_t byte = 0;
  std::wstring text;
};

namespace {

/// The decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), as
/// OLE Automation takes it from the user's default locale. The process's own
/// locale stays "C", so the log's "%f" lines keep their ".", as on Windows.
std::string userDecimalSeparator() {
  std::string separator = ".";
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user != static_cast<locale_t>(0)) {
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    if (radix && *radix)
      separator = radix;
    freelocale(user);
  }
  return separator;
}

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

bool isDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

/// A text read as a number: blanks around it, a sign, digits with the user's
/// decimal separator and an exponent. False when it is no such number or does
/// not fit a double.
bool parseNumber(const std::wstring& text, double* value) {
  const std::wstring separator = vsWideFromUtf8(userDecimalSeparator());
  std::string plain; // the number as the "C" locale writes it
  size_t at = 0;
  while (at < text.size() && isBlank(text[at]))
    ++at;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-'))
    plain.push_back(static_cast<char>(text[at++]));
  int digits = 0;
  while (at < text.size() && isDigit(text[at])) {
    plain.push_back(static_cast<char>(text[at++]));
    ++digits;
  }
  if (text.compare(at, separator.size(), separator) == 0) {
    at += separator.size();
    plain.push_back('.');
    while (at < text.size() && isDigit(text[at])) {
      plain.push_back(static_cast<char>(text[at++]));
      ++digits;
    }
  }
  if (digits == 0)
    return false;
  if (at < text.size() && (text[at] == L'e' || text[at] == L'E')) {
    plain.push_back('e');
    ++at;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-'))
      plain.push_back(static_cast<char>(text[at++]));
    if (at >= text.size() || !isDigit(text[at]))
      return false;
    while (at < text.size() && isDigit(text[at]))
      plain.push_back(static_cast<char>(text[at++]));
  }
  while (at < text.size() && isBlank(text[at]))
    ++at;
  if (at != text.size())
    return false;
  locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
  if (c == static_cast<locale_t>(0))
    return false;
  double parsed = strtod_l(plain.c_str(), nullptr, c);
  freelocale(c);
  if (!isfinite(parsed))
    return false;
  *value = parsed;
  return true;
}

/// A double to a 32-bit integer, rounding a half to the even neighbour;
/// false when it is out of range or not a number.
bool roundToInt(double value, int32_t* result) {
  if (!(value >= -2147483648.5 && value < 2147483647.5))
    return false;
  double whole = trunc(value);
  double fraction = value - whole;
  bool odd = fmod(whole, 2.0) != 0.0;
  if (fraction > 0.5 || (fraction == 0.5 && odd))
    whole += 1.0;
  else if (fraction < -0.5 || (fraction == -0.5 && odd))
    whole -= 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0)
    return false;
  *result = static_cast<int32_t>(whole);
  return true;
}

std::wstring realText(double value) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text = buffer;
  // snprintf writes the process locale's separator; put the user's in.
  const char* processSeparator = localeconv()->decimal_point;
  size_t at = text.find(processSeparator);
  if (at != std::string::npos)
    text.replace(at, strlen(processSeparator), userDecimalSeparator());
  return vsWideFromUtf8(text);
}

} // namespace

VsVariant::VsVariant() : impl_(new Impl) {}
VsVariant::~VsVariant() = default;
VsVariant::VsVariant(VsVariant&& other) noexcept
    : impl_(std::move(other.impl_)) {
  other.impl_.reset(new Impl);
}
VsVariant& VsVariant::operator=(VsVariant&& other) noexcept {
  impl_.swap(other.impl_);
  *other.impl_ = Impl();
  return *this;
}

VsVariant VsVariant::fromReal(double value) {
  VsVariant variant;
  variant.impl_->type = Impl::Real;
  variant.impl_->real = value;
  return variant;
}

VsVariant VsVariant::fromInt(int32_t value) {
  VsVariant variant;
  variant.impl_->type = Impl::Int;
  variant.impl_->integer = value;
  return variant;
}

VsVariant VsVariant::fromByte(uint8_t value) {
  VsVariant variant;
  variant.impl_->type = Impl::Byte;
  variant.impl_->byte = value;
  return variant;
}

VsVariant VsVariant::fromText(const std::wstring& text) {
  VsVariant variant;
  variant.impl_->type = Impl::Text;
  variant.impl_->text = text;
  return variant;
}

bool VsVariant::toReal(double* value) const {
  switch (impl_->type) {
  case Impl::Empty:
    *value = 0.0;
    return true;
  case Impl::Real:
    *value = impl_->real;
    return true;
  case Impl::Int:
    *value = impl_->integer;
    return true;
  case Impl::Byte:
    *value = impl_->byte;
    return true;
  case Impl::Text:
    return parseNumber(impl_->text, value);
  }
  return false;
}

bool VsVariant::toInt(int32_t* value) const {
  switch (impl_->type) {
  case Impl::Empty:
    *value = 0;
    return true;
  case Impl::Real:
    return roundToInt(impl_->real, value);
  case Impl::Int:
    *value = impl_->integer;
    return true;
  case Impl::Byte:
    *value = impl_->byte;
    return true;
  case Impl::Text: {
    double number;
    return parseNumber(impl_->text, &number) && roundToInt(number, value);
  }
  }
  return false;
}

bool VsVariant::toText(std::wstring* text) const {
  switch (impl_->type) {
  case Impl::Empty:
    text->clear();
    return true;
  case Impl::Real:
    *text = realText(impl_->real);
    return true;
  case Impl::Int:
    *text = std::to_wstring(impl_->integer);
    return true;
  case Impl::Byte:
    *text = std::to_wstring(impl_->byte);
    return true;
  case Impl::Text:
    *text = impl_->text;
    return true;
  }
  return false;
}

std::wstring vsWideText(const char* text) {
  // Host texts (DMI strings) need not be UTF-8; every byte must reach the
  // guest as it was read.
  return text ? vsWideFromBytes(text) : std::wstring();
}

std::string vsLogText(const std::wstring& text) {
  return vsUtf8FromWide(text);
}
