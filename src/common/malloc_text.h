// malloc_text.h: ownership of a text that a C-style call allocated with
// malloc and handed out through a char** parameter.
#ifndef ENABLER_COMMON_MALLOC_TEXT_H
#define ENABLER_COMMON_MALLOC_TEXT_H

#include <stdlib.h>

#include <memory>

struct MallocTextFree {
  void operator()(char* text) const { free(text); }
};

/// An owned malloc'd text; null means absent.
using MallocText = std::unique_ptr<char, MallocTextFree>;

/// Takes over what a call leaves in its char** out parameter:
///   MallocTextOut out(&owned); getVmPerlInstallPath(out);
/// The text the call stored (or null) is owned by `*owner` once `out` ends.
class MallocTextOut {
public:
  explicit MallocTextOut(MallocText* owner) : owner_(owner) {}
  ~MallocTextOut() { owner_->reset(text_); }
  MallocTextOut(const MallocTextOut&) = delete;
  MallocTextOut& operator=(const MallocTextOut&) = delete;
  operator char**() { return &text_; }

private:
  MallocText* owner_;
  char* text_ = nullptr;
};

#endif
