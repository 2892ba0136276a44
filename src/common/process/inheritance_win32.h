// inheritance_win32.h: what a child started with handle inheritance receives
// of the enabler's handles. Win32 only.
#ifndef ENABLER_PROCESS_INHERITANCE_WIN32_H
#define ENABLER_PROCESS_INHERITANCE_WIN32_H

#include <windows.h>

#include <vector>

/// Limits what the next CreateProcessA with handle inheritance hands to the
/// child, for as long as it lives. Where the system has handle lists (Vista
/// and later) the child inherits exactly `handles`, which must stay open
/// meanwhile. Elsewhere (XP, Server 2003) it inherits every inheritable
/// handle but the enabler's own standard handles, which are not inheritable
/// while this lives and get their flags back afterwards: through them a child
/// that outlives the enabler would hold the caller's pipes open.
class InheritOnly {
public:
  InheritOnly(const STARTUPINFOA& startup, HANDLE* handles, DWORD count);
  ~InheritOnly();
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;

  /// The startup information for CreateProcessA: `startup` with the handle
  /// list where there is one.
  STARTUPINFOA* startupInfo() { return &extended_.startupInfo; }
  /// Flags to add to CreateProcessA's creation flags.
  DWORD creationFlags() const;

private:
  /// STARTUPINFOEXA, which the headers offer only from Vista on.
  struct StartupInfoEx {
    STARTUPINFOA startupInfo;
    void* attributeList;
  };

  bool makeHandleList(HANDLE* handles, DWORD count);
  void keepStandardHandles();

  StartupInfoEx extended_;
  std::vector<void*> storage_; ///< the list, aligned for its pointers
  void* list_ = nullptr;
  void(WINAPI* deleteList_)(void*) = nullptr;
  HANDLE kept_[3] = {};
  DWORD keptCount_ = 0;
};

#endif
