// inheritance_win32.cpp: the handle list of a child's start, or where the
// system has none, the enabler's standard handles kept from the child.
#include "common/process/inheritance_win32.h"

namespace {

// From the Vista headers; the programs also run on XP, whose kernel32 lacks
// the list functions, so they are looked up when needed.
const DWORD kExtendedStartupInfoPresent = 0x00080000;
const DWORD_PTR kAttributeHandleList = 0x00020002;
using InitializeList = BOOL(WINAPI*)(void*, DWORD, DWORD, SIZE_T*);
using UpdateList = BOOL(WINAPI*)(void*, DWORD, DWORD_PTR, void*, SIZE_T, void*,
                                 SIZE_T*);
using DeleteList = void(WINAPI*)(void*);

template <class Function> Function kernelFunction(const char* name) {
  FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

} // namespace

InheritOnly::InheritOnly(const STARTUPINFOA& startup, HANDLE* handles,
                         DWORD count) {
  extended_.startupInfo = startup;
  extended_.attributeList = nullptr;
  if (makeHandleList(handles, count)) {
    extended_.startupInfo.cb = sizeof extended_;
    extended_.attributeList = list_;
  } else {
    keepStandardHandles();
  }
}

InheritOnly::~InheritOnly() {
  if (list_)
    deleteList_(list_);
  for (DWORD i = 0; i < keptCount_; ++i)
    SetHandleInformation(kept_[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

DWORD InheritOnly::creationFlags() const {
  return list_ ? kExtendedStartupInfoPresent : 0;
}

bool InheritOnly::makeHandleList(HANDLE* handles, DWORD count) {
  auto initialize =
      kernelFunction<InitializeList>("InitializeProcThreadAttributeList");
  auto update = kernelFunction<UpdateList>("UpdateProcThreadAttribute");
  deleteList_ = kernelFunction<DeleteList>("DeleteProcThreadAttributeList");
  // An empty list is refused; a child without pipes inherits as on XP.
  if (!initialize || !update || !deleteList_ || count == 0)
    return false;
  SIZE_T size = 0;
  initialize(nullptr, 1, 0, &size);
  if (size == 0)
    return false;
  storage_.resize((size + sizeof(void*) - 1) / sizeof(void*));
  if (!initialize(storage_.data(), 1, 0, &size))
    return false;
  list_ = storage_.data();
  if (!update(list_, 0, kAttributeHandleList, handles, count * sizeof(HANDLE),
              nullptr, nullptr)) {
    deleteList_(list_);
    list_ = nullptr;
    return false;
  }
  return true;
}

void InheritOnly::keepStandardHandles() {
  const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD kind : which) {
    HANDLE handle = GetStdHandle(kind);
    DWORD flags = 0;
    if (!handle || handle == INVALID_HANDLE_VALUE ||
        !GetHandleInformation(handle, &flags) || !(flags & HANDLE_FLAG_INHERIT))
      continue;
    // Output and error are often the same handle; it is restored once.
    bool seen = false;
    for (DWORD i = 0; i < keptCount_; ++i)
      seen = seen || kept_[i] == handle;
    if (!seen && SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0))
      kept_[keptCount_++] = handle;
  }
}
