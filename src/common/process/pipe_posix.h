// pipe_posix.h: the POSIX pipe ends of the child-process layer: a held
// descriptor, an anonymous pipe, and the enabler's ends as byte streams.
// Internal to the layer (child_process_posix.cpp).
#ifndef ENABLER_PROCESS_PIPE_POSIX_H
#define ENABLER_PROCESS_PIPE_POSIX_H

#include "common/process/child_process.h"

#include <sys/types.h>
#include <unistd.h>

/// A file descriptor; -1 once closed or when never opened.
class ScopedFd {
public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() { close(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset(int fd) {
    close();
    fd_ = fd;
  }
  /// Hands the descriptor over and forgets it.
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void close() {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

private:
  int fd_ = -1;
};

/// Moves a new descriptor above 0, 1 and 2. When the enabler runs with one of
/// its standard handles closed, pipe() hands out that number, and the child's
/// dup2 onto 0, 1 and 2 would then clobber a pipe end before it is used.
int aboveStandardFds(int fd);

/// One anonymous pipe. Both ends are close-on-exec: the child gets its own
/// end through dup2 onto a standard handle, which clears the flag on the
/// copy, and no other child ever inherits an end.
struct Pipe {
  ScopedFd readEnd;
  ScopedFd writeEnd;

  explicit Pipe(bool create);
  void close() {
    readEnd.close();
    writeEnd.close();
  }
};

class PipeReader : public ByteReader {
public:
  explicit PipeReader(int fd) : fd_(fd) {}
  int read(char* buffer, int count) override;
  void close() override { fd_.close(); }
  bool waitReadable(long milliseconds) override;
  /// Makes this the output of child `pid`, the leader of its own process
  /// group: once the child has ended, reads give what the pipe holds and then
  /// the end, even while a process the child started still holds the pipe,
  /// and such processes are ended with it.
  void watchChild(pid_t pid) { child_ = pid; }

private:
  bool childEnded();
  bool holdsBytes();

  ScopedFd fd_;
  pid_t child_ = -1;
  bool childEnded_ = false;
};

class PipeWriter : public ByteWriter {
public:
  explicit PipeWriter(int fd) : fd_(fd) {}
  int write(const char* buffer, int count) override;
  void close() override { fd_.close(); }

private:
  ScopedFd fd_;
};

#endif
