// ref_holder.h: the holder of one reference to an object that is given back
// with Release: COM interface pointers on Windows, and the objects of the
// interfaces made in their image (the Virtual Server adapter's).
#ifndef ENABLER_PLATFORM_REF_HOLDER_H
#define ENABLER_PLATFORM_REF_HOLDER_H

/// Releases the object it holds exactly once, when it is reset or destroyed.
template <class T> class RefHolder {
public:
  RefHolder() = default;
  explicit RefHolder(T* object) : object_(object) {}
  ~RefHolder() { reset(); }
  RefHolder(const RefHolder&) = delete;
  RefHolder& operator=(const RefHolder&) = delete;
  RefHolder(RefHolder&& other) noexcept : object_(other.detach()) {}
  RefHolder& operator=(RefHolder&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = other.detach();
    }
    return *this;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  /// Releases the object held, if any, and holds nothing.
  void reset() {
    if (object_) {
      T* object = object_;
      object_ = nullptr;
      object->Release();
    }
  }
  /// Gives up the object without releasing it.
  T* detach() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  /// For an out parameter: releases what is held and gives the slot, which
  /// the call fills (with null or an object it hands over).
  T** put() {
    reset();
    return &object_;
  }
  /// The same slot as an untyped out parameter (QueryInterface,
  /// CoCreateInstance).
  void** putVoid() { return reinterpret_cast<void**>(put()); }

private:
  T* object_ = nullptr;
};

#endif
