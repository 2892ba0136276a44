// run_log_test.h: the frame's state around a worker that a test runs without
// the frame: a log file, verbose mode, a fresh returnCode and the program
// that runs, as the frame's entry would set them.
#ifndef ENABLER_COMMON_RUN_LOG_TEST_H
#define ENABLER_COMMON_RUN_LOG_TEST_H

#include "enabler/common/frame.h"
#include "test_util.h"

#include <stdio.h>

#include <string>

/// Starts the frame afresh for `program` (resetFrame) and opens `path`,
/// emptied, as the run's log (verbose when it opened); closes the log and
/// leaves verbose mode when it ends, keeping returnCode for the test to read.
class ScopedRunLog {
public:
  ScopedRunLog(const std::string& path, EnablerProgram program) : path_(path) {
    resetFrame(program);
    logFile = fopen(path.c_str(), "wb");
    verbose = logFile != nullptr;
  }
  ~ScopedRunLog() {
    closeLogFile();
    verbose = false;
  }
  ScopedRunLog(const ScopedRunLog&) = delete;
  ScopedRunLog& operator=(const ScopedRunLog&) = delete;

  /// The log as written so far.
  std::string text() const {
    if (logFile)
      fflush(logFile);
    return readTestFile(path_);
  }

private:
  std::string path_;
};

#endif
