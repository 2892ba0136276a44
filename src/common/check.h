// check.h: the project's precondition check. It stays on in every build: a
// broken precondition is a programming error, and the run must not go on with
// it.
#ifndef ENABLER_COMMON_CHECK_H
#define ENABLER_COMMON_CHECK_H

/// Writes "Assertion failed: <expr>, file <module>, line <n>" to standard
/// error and aborts. `module` names the source module (for example "vtree").
[[noreturn]] void enablerAssertFailed(const char* expr, const char* module,
                                      int line);

/// Checks a precondition that only a programming error can break.
#define ENABLER_ASSERT(expr, module)                                           \
  ((expr) ? (void)0 : enablerAssertFailed(#expr, module, __LINE__))

#endif
