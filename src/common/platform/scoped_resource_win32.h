// scoped_resource_win32.h: holders of the system's resources on Windows,
// each giving back what it holds exactly once: kernel handles, registry keys
// and BSTRs. One template; a traits class per kind says which value means
// "none" and how the kind is given back. (COM interface pointers, given back
// with Release on every platform, have RefHolder in ref_holder.h.)
#ifndef ENABLER_PLATFORM_SCOPED_RESOURCE_WIN32_H
#define ENABLER_PLATFORM_SCOPED_RESOURCE_WIN32_H

#include <windows.h>

#include <oleauto.h>

/// Holds one resource of the kind `Traits` describes and gives it back when
/// it is reset or destroyed. Moves, never copies.
template <class Traits> class ScopedResource {
public:
  using Type = typename Traits::Type;

  ScopedResource() = default;
  explicit ScopedResource(Type value) : value_(value) {}
  ~ScopedResource() { reset(); }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& other) noexcept : value_(other.detach()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other)
      reset(other.detach());
    return *this;
  }

  Type get() const { return value_; }
  bool valid() const { return Traits::valid(value_); }
  /// Gives back what is held, if anything, and holds `value`.
  void reset(Type value = Traits::none()) {
    if (valid())
      Traits::giveBack(value_);
    value_ = value;
  }
  /// Gives up what is held without giving it back.
  Type detach() {
    Type value = value_;
    value_ = Traits::none();
    return value;
  }
  /// For an out parameter: gives back what is held and hands out the slot.
  Type* put() {
    reset();
    return &value_;
  }

private:
  Type value_ = Traits::none();
};

/// A kernel handle. Both INVALID_HANDLE_VALUE (what CreateFile gives on
/// failure, also the pseudo handle of the process itself) and null (what
/// most other calls give) mean none, so neither is ever closed.
struct HandleTraits {
  using Type = HANDLE;
  static Type none() { return INVALID_HANDLE_VALUE; }
  static bool valid(Type handle) {
    return handle != INVALID_HANDLE_VALUE && handle != nullptr;
  }
  static void giveBack(Type handle) { CloseHandle(handle); }
};

/// An opened registry key.
struct RegistryKeyTraits {
  using Type = HKEY;
  static Type none() { return nullptr; }
  static bool valid(Type key) { return key != nullptr; }
  static void giveBack(Type key) { RegCloseKey(key); }
};

/// A BSTR; null is also the empty string to COM.
struct BstrTraits {
  using Type = BSTR;
  static Type none() { return nullptr; }
  static bool valid(Type text) { return text != nullptr; }
  static void giveBack(Type text) { SysFreeString(text); }
};

using ScopedHandle = ScopedResource<HandleTraits>;
using ScopedRegistryKey = ScopedResource<RegistryKeyTraits>;
using ScopedBstr = ScopedResource<BstrTraits>;

#endif
