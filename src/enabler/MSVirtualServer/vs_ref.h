// vs_ref.h: the holder of one reference to an object that is given back with
// Release: the adapter's objects and, on Windows, raw COM interface pointers.
#ifndef ENABLER_VS_VS_REF_H
#define ENABLER_VS_VS_REF_H

/// Releases the object it holds exactly once, when it is reset or destroyed.
template <class T> class VsRef {
public:
  VsRef() = default;
  explicit VsRef(T* object) : object_(object) {}
  ~VsRef() { reset(); }
  VsRef(const VsRef&) = delete;
  VsRef& operator=(const VsRef&) = delete;
  VsRef(VsRef&& other) noexcept : object_(other.detach()) {}
  VsRef& operator=(VsRef&& other) noexcept {
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

private:
  T* object_ = nullptr;
};

#endif
