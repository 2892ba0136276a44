// vs_number_text_posix.cpp: the native build's reading and writing of
// numbers as OLE Automation does them: a text read as a number in every form
// VariantChangeType reads (thousands separators, &H and &O numbers,
// parentheses, trailing signs, currency symbols) with the marks of the user's
// locale, and a double written with up to 15 significant digits.
#include "enabler/MSVirtualServer/vs_number_text_posix.h"

#include "enabler/MSVirtualServer/vs_values.h"

#include <langinfo.h>
#include <locale.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

/// Item `item` of the user's locale for the categories of `mask` (LC_ALL,
/// the category's variable, LANG), read without changing the process's own
/// locale, which stays "C" so that the log's "%f" lines keep their ".", as on
/// Windows. Empty when that locale cannot be loaded.
std::string userLocaleItem(int mask, nl_item item) {
  std::string text;
  locale_t user = newlocale(mask, "", static_cast<locale_t>(0));
  if (user != static_cast<locale_t>(0)) {
    const char* value = nl_langinfo_l(item, user);
    if (value)
      text = value;
    freelocale(user);
  }
  return text;
}

/// The decimal separator of the user's locale, as OLE Automation takes it
/// from the user's default locale.
std::string userDecimalSeparator() {
  std::string separator = userLocaleItem(LC_NUMERIC_MASK, RADIXCHAR);
  return separator.empty() ? "." : separator;
}

/// The marks of a number text that OLE Automation takes from the user's
/// default locale.
struct NumberMarks {
  std::wstring decimal;
  std::wstring thousands;
  std::wstring currency;
};

/// The user's number marks. The C and POSIX locales have no thousands
/// separator and no currency symbol; there the English defaults of Windows,
/// "," and "$", stand in, unless "," is already the decimal separator.
NumberMarks userNumberMarks() {
  NumberMarks marks;
  std::string decimal = userDecimalSeparator();
  std::string thousands = userLocaleItem(LC_NUMERIC_MASK, THOUSEP);
  if (thousands.empty() && decimal != ",")
    thousands = ",";
  // CRNCYSTR starts with where the symbol goes ("-" before, "+" after, "."
  // for the decimal separator); any position is read.
  std::string currency = userLocaleItem(LC_MONETARY_MASK, CRNCYSTR);
  currency = currency.size() > 1 ? currency.substr(1) : "$";
  marks.decimal = vsWideFromUtf8(decimal);
  marks.thousands = vsWideFromUtf8(thousands);
  marks.currency = vsWideFromUtf8(currency);
  return marks;
}

/// The blanks OLE Automation skips around a number and between its signs:
/// Unicode's white space, not only the ASCII blank and tab.
bool isSpace(wchar_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

/// The value of `c` as a digit of base 16 or 8; -1 when it is none.
int radixDigit(wchar_t c, unsigned base) {
  int value = -1;
  if (isDigit(c))
    value = c - L'0';
  else if (c >= L'a' && c <= L'f')
    value = c - L'a' + 10;
  else if (c >= L'A' && c <= L'F')
    value = c - L'A' + 10;
  return value < static_cast<int>(base) ? value : -1;
}

/// A number text as read: a decimal `digits` x 10^`exponent` with a sign, or
/// the 32 bits of a hexadecimal or octal one.
struct ParsedNumber {
  bool radix = false; ///< "&H" or "&O": `bits` holds it
  uint32_t bits = 0;
  bool negative = false;
  std::string digits; ///< no leading zeros; empty for zero
  int64_t exponent = 0;
};

/// Exponents are read up to this size: past it a double is infinite or zero
/// whatever the digits, and the sum with the digit count cannot overflow.
constexpr int64_t kExponentLimit = 1000000000;

class NumberReader {
public:
  NumberReader(const std::wstring& text, const NumberMarks& marks)
      : text_(text), marks_(marks) {}

  /// The text as OLE Automation's VariantChangeType reads a number (flags
  /// 0): blanks, signs, an opening parenthesis and the currency symbol
  /// before it; the digits with thousands separators, the decimal
  /// separator and an exponent, or "&H"/"&O" and hexadecimal or octal
  /// digits; then blanks, signs, closing parentheses and currency symbols.
  bool read(ParsedNumber* number) {
    readLeading();
    wchar_t kind = at_ + 1 < text_.size() ? text_[at_ + 1] : L'\0';
    bool radix = !currency_ && peek() == L'&' &&
                 (kind == L'H' || kind == L'h' || kind == L'O' || kind == L'o');
    if (radix ? !readRadix(number) : !readDecimal(number))
      return false;
    if (!readTrailing(number->radix) || at_ != text_.size() ||
        parenthesis_ != closed_)
      return false;
    // A hexadecimal or octal number is bits: signs and parentheses around
    // it are read but do not negate it.
    number->negative =
        !number->radix && (leadingMinus_ || trailingMinus_ || parenthesis_);
    return true;
  }

private:
  bool take(wchar_t c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool take(const std::wstring& mark) {
    if (mark.empty() || text_.compare(at_, mark.size(), mark) != 0)
      return false;
    at_ += mark.size();
    return true;
  }
  wchar_t peek() const { return at_ < text_.size() ? text_[at_] : L'\0'; }

  // Each sign, the parenthesis and the currency symbol at most once.
  void readLeading() {
    for (;;) {
      if (isSpace(peek()))
        ++at_;
      else if (!leadingPlus_ && take(L'+'))
        leadingPlus_ = true;
      else if (!leadingMinus_ && take(L'-'))
        leadingMinus_ = true;
      else if (!parenthesis_ && take(L'('))
        parenthesis_ = true;
      else if (!currency_ && take(marks_.currency))
        currency_ = true;
      else
        return;
    }
  }

  // A trailing sign may repeat but not repeat a leading one; a closing
  // parenthesis needs an opening one. A currency symbol does not follow
  // "&H" digits.
  bool readTrailing(bool radix) {
    for (;;) {
      if (isSpace(peek())) {
        ++at_;
      } else if (take(L'+')) {
        if (leadingPlus_)
          return false;
      } else if (take(L'-')) {
        if (leadingMinus_)
          return false;
        trailingMinus_ = true;
      } else if (take(L')')) {
        if (!parenthesis_)
          return false;
        closed_ = true;
      } else if (radix || !take(marks_.currency)) {
        return true;
      }
    }
  }

  // Up to 32 bits; leading zeros do not count.
  bool readRadix(ParsedNumber* number) {
    ++at_;
    wchar_t kind = text_[at_++];
    unsigned base = (kind == L'H' || kind == L'h') ? 16 : 8;
    uint64_t value = 0;
    bool any = false;
    for (int digit; (digit = radixDigit(peek(), base)) >= 0; ++at_) {
      any = true;
      if (value <= 0xFFFFFFFFu)
        value = value * base + static_cast<unsigned>(digit);
    }
    if (!any || value > 0xFFFFFFFFu)
      return false;
    number->radix = true;
    number->bits = static_cast<uint32_t>(value);
    return true;
  }

  // Thousands separators are skipped anywhere after the first digit or the
  // decimal separator, not only between groups of three. After a leading
  // currency symbol there is no exponent.
  bool readDecimal(ParsedNumber* number) {
    std::string digits;
    int64_t fractionDigits = 0;
    bool point = false;
    for (;;) {
      if (isDigit(peek())) {
        digits.push_back(static_cast<char>(text_[at_++]));
        fractionDigits += point ? 1 : 0;
      } else if (!point && take(marks_.decimal)) {
        point = true;
      } else if ((!point && digits.empty()) || !take(marks_.thousands)) {
        break;
      }
    }
    if (digits.empty())
      return false;
    int64_t exponent = 0;
    if (!currency_ && (take(L'e') || take(L'E'))) {
      bool minus = take(L'-');
      if (!minus)
        take(L'+');
      if (!isDigit(peek()))
        return false;
      for (; isDigit(peek()); ++at_) {
        exponent = exponent * 10 + (text_[at_] - L'0');
        if (exponent > kExponentLimit)
          exponent = kExponentLimit;
      }
      exponent = minus ? -exponent : exponent;
    }
    size_t first = digits.find_first_not_of('0');
    number->digits = first == std::string::npos ? "" : digits.substr(first);
    number->exponent = exponent - fractionDigits;
    return true;
  }

  const std::wstring& text_;
  const NumberMarks& marks_;
  size_t at_ = 0;
  bool leadingPlus_ = false;
  bool leadingMinus_ = false;
  bool trailingMinus_ = false;
  bool parenthesis_ = false;
  bool closed_ = false;
  bool currency_ = false;
};

/// `text` read as a number with the user's marks. A BSTR is read up to its
/// first NUL, as OLE Automation reads it.
bool parseNumber(const std::wstring& text, ParsedNumber* number) {
  const std::wstring read = text.substr(0, text.find(L'\0'));
  return NumberReader(read, userNumberMarks()).read(number);
}

/// A parsed number as a double; false when it does not fit. A hexadecimal or
/// octal number is a 32-bit two's complement integer, but OLE Automation
/// gives a double only for those up to &H80000000.
bool numberToReal(const ParsedNumber& number, double* value) {
  if (number.radix) {
    if (number.bits > 0x80000000u)
      return false;
    *value = static_cast<int32_t>(number.bits);
    return true;
  }
  std::string plain = number.negative ? "-" : "";
  plain += number.digits.empty() ? "0" : number.digits;
  plain += "e" + std::to_string(number.exponent);
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

/// A parsed number as a 32-bit integer, rounded half to even on its decimal
/// digits rather than on a double, which may already have rounded
/// "2.5000000000000001" to 2.5; false when out of range.
bool numberToInt(const ParsedNumber& number, int32_t* result) {
  if (number.radix) {
    *result = static_cast<int32_t>(number.bits);
    return true;
  }
  const std::string& digits = number.digits;
  if (digits.empty()) {
    *result = 0;
    return true;
  }
  int64_t length = static_cast<int64_t>(digits.size());
  int64_t whole = length + number.exponent; // digits before the point
  if (whole > 10)
    return false;
  uint64_t magnitude = 0;
  for (int64_t i = 0; i < whole; ++i)
    magnitude = magnitude * 10 + (i < length ? digits[i] - '0' : 0);
  // The first digit dropped decides; the ones after it only break a tie.
  if (whole >= 0 && whole < length) {
    char first = digits[whole];
    bool beyond = digits.find_first_not_of('0', whole + 1) != std::string::npos;
    if (first > '5' || (first == '5' && (beyond || magnitude % 2 == 1)))
      ++magnitude;
  }
  if (magnitude > (number.negative ? 2147483648u : 2147483647u))
    return false;
  *result =
      static_cast<int32_t>(number.negative ? -static_cast<int64_t>(magnitude)
                                           : static_cast<int64_t>(magnitude));
  return true;
}

} // namespace

bool vsRoundToInt(double value, int32_t* result) {
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

std::wstring vsRealText(double value) {
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

bool vsTextToReal(const std::wstring& text, double* value) {
  ParsedNumber number;
  return parseNumber(text, &number) && numberToReal(number, value);
}

bool vsTextToInt(const std::wstring& text, int32_t* value) {
  ParsedNumber number;
  return parseNumber(text, &number) && numberToInt(number, value);
}
