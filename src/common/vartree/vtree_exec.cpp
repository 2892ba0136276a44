// vtree_exec.cpp: running a product program, below the installation home
// when one is set, and reading its report into a document.
#include "common/check.h"
#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree.h"

std::string vtHomeCommand(const std::string& home, const char* command) {
  std::string path = home;
  path += pathSeparator();
  path += "bin";
  path += pathSeparator();
  path += command;
  return path;
}

VtDocument* vtExecCommand(const char* command) {
  return vtExecCommand(command, nullptr);
}

VtDocument* vtExecCommand(const char* command, SystemError* error,
                          const ReadLimits& limits) {
  ENABLER_ASSERT(command != 0, "vtree");
  std::optional<std::string> home = getEnvironment("KEP_HOMEDIR");
  // A full path already names its program; put below the home's "bin" it
  // would name none.
  if (!home || isAbsolutePath(command))
    return vtReadCommandOutput(command, error, limits);
  return vtReadCommandOutput(vtHomeCommand(*home, command).c_str(), error,
                             limits);
}

VtDocument* vtReadCommandOutput(const char* command, SystemError* error,
                                const ReadLimits& limits) {
  ENABLER_ASSERT(command != 0, "vtree");
  ChildProcessPtr child(
      startChildProcess(command, nullptr, ChildErrorOutput::kUnread, error));
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
  // The limits start with the child: a report that is too large or too late
  // counts as none, like a program that could not be run, and the child is
  // ended rather than left to write or wait on.
  BoundedReader report(child->output(), limits);
  SystemError readFailure;
  VtDocument* document = vtReadDocument(&report, &readFailure);
  if (report.readError().failed())
    keepSystemError(error, report.readError());
  // A report that memory could not hold counts as none, with that reason.
  if (readFailure.failed() || report.limitPassed()) {
    if (readFailure.failed())
      keepSystemError(error, readFailure);
    vtFreeDocument(document);
    child->terminate();
    return nullptr;
  }
  // Releasing the child neither waits for it nor asks its exit code: what the
  // program reports travels in its status line.
  return document;
}
