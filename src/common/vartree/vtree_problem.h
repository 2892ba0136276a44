// vtree_problem.h: where and why the reader refuses a document, in words a
// person can act on. The reader itself gives only a document without root.
#ifndef ENABLER_VARTREE_VTREE_PROBLEM_H
#define ENABLER_VARTREE_VTREE_PROBLEM_H

#include <string>

/// The first place where the reader gave up.
struct VtReadProblem {
  int line = 0;       ///< from 1; 0 when no single line is to blame
  std::string reason; ///< lower case, without a full stop
};

/// Reads `text` as vtReadDocument reads a stream. False when that gives an
/// accepted status line and a root; otherwise true, with the first line the
/// reader refused (or 0, at the end of the text) and why in `*problem`.
bool vtFindReadProblem(const std::string& text, VtReadProblem* problem);

#endif
