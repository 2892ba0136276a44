// child_process.h: a program started as a child process with its standard
// handles on anonymous pipes, and the enabler's ends of those pipes as byte
// streams. No OS header here: each platform file defines the concrete pipe
// streams, the child and startChildProcess.
#ifndef ENABLER_PROCESS_CHILD_PROCESS_H
#define ENABLER_PROCESS_CHILD_PROCESS_H

#include "common/platform/system_error.h"

#include <memory>
#include <string>
#include <vector>

/// A readable byte stream. Releasing it closes it.
class ByteReader {
public:
  virtual ~ByteReader() = default;
  /// Reads at most `count` bytes into `buffer` and puts a 0 byte behind them
  /// (so `buffer` holds `count` + 1 bytes; the 0 byte is written whatever the
  /// result). Gives the number of bytes read; 0 means end of stream, a broken
  /// pipe, a closed stream, a `count` of 0 or less, or a failure.
  virtual int read(char* buffer, int count) = 0;
  /// Closes the stream; later reads give 0. Closing twice does nothing.
  virtual void close() {}
  /// Waits at most `milliseconds` until a read would not block: bytes or the
  /// end of the stream are there. False when the time passed first. A stream
  /// that never blocks (a closed one included) is ready at once; a failure
  /// of the wait counts as ready, so that the read reports it.
  virtual bool waitReadable(long /*milliseconds*/) { return true; }

  /// Why the last read gave 0 when that was a failure of the system, not the
  /// end of the stream or a closed stream; no failure otherwise.
  const SystemError& readError() const { return readError_; }

protected:
  SystemError readError_;
};

/// A writable byte stream. Releasing it closes it.
class ByteWriter {
public:
  virtual ~ByteWriter() = default;
  /// Writes `count` bytes; gives the number written, 0 when closed or failed
  /// (a reader that has gone away is a failure, never a signal).
  virtual int write(const char* buffer, int count) = 0;
  /// Closes the stream; a child reading the other end then sees its end.
  virtual void close() {}
};

/// A started child. Releasing it releases its streams and closes every handle
/// it holds; it neither waits for the child nor ends it.
class ChildProcess {
public:
  virtual ~ChildProcess() = default;
  /// Ends the child at once (natively with SIGKILL, on Windows with exit code
  /// ERROR_PROCESS_ABORTED, so that no audit of its exit reads success), and
  /// with it what it started (see output()); the platform's success flag.
  /// False, ending nothing, when no child was started.
  virtual bool terminate() = 0;
  /// The child's exit code, or -1 while it runs, when the query fails or when
  /// no child was started. Natively a child ended by a signal gives 128 plus
  /// the signal's number, except one ended by terminate(), which gives 0; on
  /// Windows that one gives ERROR_PROCESS_ABORTED (1067).
  virtual int exitCode() = 0;
  /// -1 at once when no child was started; else waits without time limit for
  /// the child's end and gives exitCode().
  virtual int wait() = 0;

  /// The enabler's end of the child's standard input; null only when making
  /// the stream failed. Closing it gives the child the end of its input.
  virtual ByteWriter* input() = 0;
  /// The enabler's end of the child's standard output. Once the child has
  /// closed its standard output, reads give 0. Once the child has ended,
  /// reads give what the pipe holds and then 0, even while a process the
  /// child started still holds the pipe; such processes are then ended:
  /// natively the child's process group, which it leads; on Windows its job
  /// object, where the child could be put in one (not when the system allows
  /// no job inside the enabler's own), else nothing but the child.
  virtual ByteReader* output() = 0;
  /// The enabler's end of the child's standard error; null when the child's
  /// error output does not come back to the enabler (ChildErrorOutput).
  virtual ByteReader* error() = 0;
};

/// Where the child's standard error goes.
enum class ChildErrorOutput {
  /// A pipe whose enabler's end is error(). The child blocks when it writes
  /// more than the pipe holds and nobody reads error().
  kPipe,
  /// The enabler never reads it, and it must never block the child. On
  /// Windows the pipe is made as for kPipe and the user closes error() once
  /// the child has started: the child's writes then fail instead of blocking.
  /// Natively the child's standard error is the null device and error() is
  /// null, since there a write into a pipe without reader would end the child
  /// (SIGPIPE) instead of failing.
  kUnread,
};

/// Starts `program` (never null) with `arguments` (null for none). Gives the
/// child, owned by the caller, or null when it cannot be started; nothing is
/// written anywhere, the reason goes to `*error` when it is not null, and
/// every pipe made for the child is closed again. A program path with a blank
/// is quoted on Windows; a bare name is searched for as the platform does
/// (natively on PATH). Natively `arguments` is cut at blanks and tabs into
/// separate arguments, double quotes grouping (see splitArguments). The child
/// inherits its three pipe ends and none of the enabler's other handles or
/// descriptors (natively not even those its caller left open); natively it
/// starts with no signal blocked and every signal at its default action, as
/// the leader of a process group of its own. A child released while it still
/// runs is reaped natively once it ends.
ChildProcess*
startChildProcess(const char* program, const char* arguments,
                  ChildErrorOutput errorOutput = ChildErrorOutput::kPipe,
                  SystemError* error = nullptr);

/// A started child, owned: releasing it releases the child as above.
using ChildProcessPtr = std::unique_ptr<ChildProcess>;

/// A program to run with the enabler's own standard handles: its path, its
/// argument vector (argv[0] first), and the same as one command line, which
/// is what CreateProcessA receives on Windows (the C runtime's rules must
/// parse it back into `arguments`).
struct ProgramCommand {
  std::string program;
  std::vector<std::string> arguments;
  std::string commandLine;
};

/// Runs `command` as a child that inherits the enabler's standard input,
/// output and error, its environment and its current directory (natively
/// with no signal blocked and every signal at its default action), and waits
/// for its end without time limit. The program is started directly, never
/// through a command interpreter, and is not searched for on PATH. Gives the
/// child's exit status; -1 when it could not be started, ended without an
/// exit status of its own (natively: killed by a signal), or its status could
/// not be learned, with the reason in `*error` when it is not null.
int runChildProcess(const ProgramCommand& command,
                    SystemError* error = nullptr);

/// A child process with its pipes made but nothing started: terminate() gives
/// false, exitCode() and wait() give -1 at once. For users that need the
/// never-started state.
ChildProcess* makeChildProcess();

// --- Shared by both halves -------------------------------------------------

/// The Windows command line for `program` and `arguments` (null for none):
/// the program in double quotes when it holds a blank, else unchanged; then,
/// when there are arguments, one blank and the arguments.
std::string composeCommandLine(const char* program, const char* arguments);

/// Arguments text cut into words at runs of blanks and tabs; a double quote
/// starts or ends a stretch in which blanks and tabs belong to the word, and
/// is itself dropped. Null or blank text gives no words.
std::vector<std::string> splitArguments(const char* arguments);

#endif
