// vs_values_win32.cpp: the Windows half of the interface's values: a VsVariant
// is a VARIANT, converted with VariantChangeType (flags 0, the user's default
// locale), and texts cross through the ANSI code page.
#include "enabler/MSVirtualServer/vs_values_win32.h"

namespace {

/// A copy of `source` converted to `type`; false when OLE Automation refuses.
bool changeType(const VARIANT& source, VARTYPE type, VARIANT* converted) {
  VariantInit(converted);
  HRESULT result = VariantChangeType(converted, const_cast<VARIANT*>(&source),
                                     /*wFlags=*/0, type);
  if (FAILED(result)) {
    VariantClear(converted);
    return false;
  }
  return true;
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
  VariantClear(&other.impl_->value);
  return *this;
}

VsVariant VsVariant::fromReal(double value) {
  VsVariant variant;
  V_VT(&variant.impl_->value) = VT_R8;
  V_R8(&variant.impl_->value) = value;
  return variant;
}

VsVariant VsVariant::fromInt(int32_t value) {
  VsVariant variant;
  V_VT(&variant.impl_->value) = VT_I4;
  V_I4(&variant.impl_->value) = value;
  return variant;
}

VsVariant VsVariant::fromByte(uint8_t value) {
  VsVariant variant;
  V_VT(&variant.impl_->value) = VT_UI1;
  V_UI1(&variant.impl_->value) = value;
  return variant;
}

VsVariant VsVariant::fromText(const std::wstring& text) {
  VsVariant variant;
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy) {
    V_VT(&variant.impl_->value) = VT_BSTR;
    V_BSTR(&variant.impl_->value) = copy;
  }
  return variant;
}

bool VsVariant::toReal(double* value) const {
  if (V_VT(&impl_->value) == VT_R8) {
    *value = V_R8(&impl_->value);
    return true;
  }
  VARIANT converted;
  if (!changeType(impl_->value, VT_R8, &converted))
    return false;
  *value = V_R8(&converted);
  return true;
}

bool VsVariant::toInt(int32_t* value) const {
  if (V_VT(&impl_->value) == VT_I4) {
    *value = V_I4(&impl_->value);
    return true;
  }
  VARIANT converted;
  if (!changeType(impl_->value, VT_I4, &converted))
    return false;
  *value = V_I4(&converted);
  return true;
}

bool VsVariant::toText(std::wstring* text) const {
  VARIANT converted;
  if (!changeType(impl_->value, VT_BSTR, &converted))
    return false;
  BSTR bstr = V_BSTR(&converted);
  text->assign(bstr ? bstr : L"", bstr ? SysStringLen(bstr) : 0);
  VariantClear(&converted);
  return true;
}

std::wstring vsWideText(const char* text) {
  if (!text || !*text)
    return std::wstring();
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], units);
  wide.resize(static_cast<size_t>(units) - 1);
  return wide;
}

std::string vsLogText(const std::wstring& text) {
  if (text.empty())
    return std::string();
  int size = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0,
                                  nullptr, nullptr);
  if (bytes <= 0)
    return std::string();
  std::string narrow(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, &narrow[0], bytes, nullptr,
                      nullptr);
  return narrow;
}
