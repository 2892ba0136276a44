// vs_number_text_posix.h: the native build's number texts, made by hand the
// way OLE Automation's VariantChangeType makes them on Windows.
#ifndef ENABLER_VS_VS_NUMBER_TEXT_POSIX_H
#define ENABLER_VS_VS_NUMBER_TEXT_POSIX_H

#include <stdint.h>

#include <string>

/// `text` read as a number the way VT_BSTR becomes VT_R8 in the user's
/// locale; false, leaving `*value` alone, when it is no number or does not
/// fit.
bool vsTextToReal(const std::wstring& text, double* value);
/// The same to VT_I4: rounded half to even on the written digits; false when
/// out of range.
bool vsTextToInt(const std::wstring& text, int32_t* value);
/// A double to VT_I4, rounding a half to the even neighbour; false when out of
/// range or not a number.
bool vsRoundToInt(double value, int32_t* result);
/// A double as VT_BSTR text: up to 15 significant digits, no trailing zeros,
/// the user's decimal separator.
std::wstring vsRealText(double value);

#endif
