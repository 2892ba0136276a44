// vs_values_win32.h: the Windows representation of VsVariant, for the files
// that hand VARIANTs to COM or take them from it.
#ifndef ENABLER_VS_VS_VALUES_WIN32_H
#define ENABLER_VS_VS_VALUES_WIN32_H

#include "enabler/MSVirtualServer/vs_values.h"

#include <windows.h>

#include <oleauto.h>

struct VsVariant::Impl {
  Impl() { VariantInit(&value); }
  ~Impl() { VariantClear(&value); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  VARIANT value;
};

#endif
