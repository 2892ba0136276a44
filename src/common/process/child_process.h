// child_process.h: a program started as a child process with its standard
// handles on anonymous pipes, and the enabler's ends of those pipes as byte
// streams. No OS header here: each platform file defines the concrete pipe
// streams, the child and startChildProcess.
#ifndef ENABLER_PROCESS_CHILD_PROCESS_H
#define ENABLER_PROCESS_CHILD_PROCESS_H

/// A readable byte stream.
class ByteReader {
public:
  virtual ~ByteReader() = default;
  /// Reads at most `count` bytes into `buffer` and puts a 0 byte behind them
  /// (so `buffer` holds `count` + 1 bytes). Gives the number of bytes read;
  /// 0 means end of stream, a broken pipe, a closed stream or a failure.
  virtual int read(char* buffer, int count) = 0;
  virtual void close() {}
};

/// A writable byte stream.
class ByteWriter {
public:
  virtual ~ByteWriter() = default;
  /// Writes `count` bytes; gives the number written, 0 when closed or failed.
  virtual int write(const char* buffer, int count) = 0;
  virtual void close() {}
};

/// A started child. Releasing it releases its streams and closes every handle
/// it holds; it neither waits for the child nor ends it.
class ChildProcess {
public:
  virtual ~ChildProcess() = default;
  /// Ends the child at once with exit code 0; the platform's success flag.
  virtual bool terminate() = 0;
  /// The child's exit code, or -1 while it runs or when the query fails.
  virtual int exitCode() = 0;
  /// -1 at once when no child was started; else waits without time limit for
  /// the child's end and gives exitCode().
  virtual int wait() = 0;

  /// The enabler's end of the child's standard input; null when making it
  /// failed or when it was closed after the start.
  virtual ByteWriter* input() = 0;
  /// The enabler's end of the child's standard output.
  virtual ByteReader* output() = 0;
  /// The enabler's end of the child's standard error; null when the child's
  /// error output does not come back to the enabler.
  virtual ByteReader* error() = 0;
};

/// Starts `program` (never null) with `arguments` (null for none). Gives the
/// child, owned by the caller, or null when it cannot be started; nothing is
/// reported and every pipe made for it is closed again.
ChildProcess* startChildProcess(const char* program, const char* arguments);

#endif
