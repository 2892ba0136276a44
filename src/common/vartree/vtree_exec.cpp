// vtree_exec.cpp: running a product program, below the installation home
// when one is set, and reading its report into a document.
#include "common/check.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_exec_platform.h"

#include <memory>

std::string vtHomeCommand(const std::string& home, const char* command) {
  std::string path = home;
  path += vtHomeSeparator();
  path += "bin";
  path += vtHomeSeparator();
  path += command;
  return path;
}

VtDocument* vtExecCommand(const char* command) {
  ENABLER_ASSERT(command != 0, "vtree");
  std::string home;
  // A full path already names its program; put below the home's "bin" it
  // would name none.
  if (!vtReadHomeDir(&home) || vtIsAbsoluteCommand(command))
    return vtReadCommandOutput(command);
  return vtReadCommandOutput(vtHomeCommand(home, command).c_str());
}

VtDocument* vtReadCommandOutput(const char* command) {
  ENABLER_ASSERT(command != 0, "vtree");
  std::unique_ptr<ChildProcess> child(
      startChildProcess(command, nullptr, ChildErrorOutput::kUnread));
  if (!child)
    return nullptr;
  // The report is all that is wanted of the child, and it must come to an
  // end: a child that reads its standard input sees the end of it at once,
  // and its writes to standard error fail or vanish instead of filling a pipe
  // that nobody reads.
  if (child->input())
    child->input()->close();
  if (child->error())
    child->error()->close();
  // Releasing the child neither waits for it nor asks its exit code: what the
  // program reports travels in its status line.
  return vtReadDocument(child->output());
}
