// vs_values_posix.cpp: the native half of the interface's values. There is no
// OLE Automation here, so the VARIANT conversions the enabler relies on are
// made by hand with the same results: integers exactly, doubles rounded half
// to even, texts read as numbers in every form OLE Automation reads, and
// numbers written with up to 15 significant digits and the decimal separator
// of the user's locale; the number texts themselves are in
// vs_number_text_posix.cpp.
#include "enabler/MSVirtualServer/vs_values.h"

#include "enabler/MSVirtualServer/vs_number_text_posix.h"

struct VsVariant::Impl {
  enum Type { Empty, Real, Int, Byte, Text };
  Type type = Empty;
  double real = 0.0;
  int32_t integer = 0;
  uint8_t byte = 0;
  std::wstring text;
};

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
    return vsTextToReal(impl_->text, value);
  }
  return false;
}

bool VsVariant::toInt(int32_t* value) const {
  switch (impl_->type) {
  case Impl::Empty:
    *value = 0;
    return true;
  case Impl::Real:
    return vsRoundToInt(impl_->real, value);
  case Impl::Int:
    *value = impl_->integer;
    return true;
  case Impl::Byte:
    *value = impl_->byte;
    return true;
  case Impl::Text:
    return vsTextToInt(impl_->text, value);
  }
  return false;
}

bool VsVariant::toText(std::wstring* text) const {
  switch (impl_->type) {
  case Impl::Empty:
    text->clear();
    return true;
  case Impl::Real:
    *text = vsRealText(impl_->real);
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
