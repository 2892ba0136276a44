// vs_values.h: the values that cross the Virtual Server interface: VARIANTs
// and texts. On Windows a VsVariant is a VARIANT and its conversions are
// those of OLE Automation (VariantChangeType, flags 0, the user's locale);
// natively the same conversions are made by hand. No OS header here.
#ifndef ENABLER_VS_VS_VALUES_H
#define ENABLER_VS_VS_VALUES_H

#include <stdint.h>

#include <memory>
#include <string>

/// An owned VARIANT. A new one is empty (VT_EMPTY).
class VsVariant {
public:
  VsVariant();
  ~VsVariant();
  VsVariant(VsVariant&& other) noexcept;
  VsVariant& operator=(VsVariant&& other) noexcept;
  VsVariant(const VsVariant&) = delete;
  VsVariant& operator=(const VsVariant&) = delete;

  static VsVariant fromReal(double value);             ///< VT_R8
  static VsVariant fromInt(int32_t value);             ///< VT_I4
  static VsVariant fromByte(uint8_t value);            ///< VT_UI1
  static VsVariant fromText(const std::wstring& text); ///< VT_BSTR

  /// The double held, after converting any other type to VT_R8 (an integer
  /// exactly; a text read as OLE Automation reads a number, with the user's
  /// decimal separator, thousands separator and currency symbol, signs,
  /// parentheses, an exponent, or "&H"/"&O" digits). False, leaving `*value`
  /// alone, when the conversion fails.
  bool toReal(double* value) const;
  /// The 32-bit integer held, after converting any other type to VT_I4 (a
  /// double rounded half to even; out of range fails; a text read as for
  /// toReal, rounded on its decimal digits). False, leaving `*value` alone,
  /// when it fails.
  bool toInt(int32_t* value) const;
  /// The text of the value, converted to VT_BSTR: integers in decimal, a
  /// double with up to 15 significant digits, no trailing zeros and the
  /// user's decimal separator. False, leaving `*text` alone, when it fails.
  bool toText(std::wstring* text) const;

  /// The platform's representation; defined in each platform file.
  struct Impl;
  Impl& impl() { return *impl_; }
  const Impl& impl() const { return *impl_; }

private:
  std::unique_ptr<Impl> impl_;
};

/// A narrow text of the enabler (identity fields, parameter names, the
/// processor record) as the interface's wide text: through the ANSI code page
/// on Windows, as UTF-8 natively. Null gives the empty text.
std::wstring vsWideText(const char* text);

/// A wide text of the interface for the log: through the ANSI code page on
/// Windows, as UTF-8 natively.
std::string vsLogText(const std::wstring& text);

/// UTF-8 and wide texts for the simulated Virtual Server, whose model file and
/// record file are UTF-8 on every platform. Invalid bytes become U+FFFD.
std::wstring vsWideFromUtf8(const std::string& text);
/// The wide text's UTF-8; a lone unit U+DC80 to U+DCFF gives back the byte
/// that vsWideFromBytes kept in it.
std::string vsUtf8FromWide(const std::wstring& text);
/// Like vsWideFromUtf8, but a byte that is not part of valid UTF-8 becomes the
/// lone unit U+DC00 plus the byte instead of U+FFFD, so that vsUtf8FromWide
/// gives every byte back unchanged.
std::wstring vsWideFromBytes(const std::string& text);

#endif
