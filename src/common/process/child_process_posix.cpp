// child_process_posix.cpp: POSIX half of the child-process layer: pipes and
// posix_spawnp. Only POSIX calls live here; anything the Win32 half would
// repeat goes to child_process.cpp.
#include "common/process/child_process.h"

#include "common/check.h"
#include "common/platform/monotonic_clock.h"
#include "common/process/pipe_posix.h"
#include "common/process/reaper_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <memory>

extern char** environ;

namespace {

/// Spawn attributes that start a child as a fresh process starts: no signal
/// blocked and every signal at its default action, whatever the enabler or
/// its caller block or ignore (an ignored signal stays ignored across exec).
/// A child `inOwnGroup` leads a process group of its own, which holds
/// whatever it starts.
class FreshSignals {
public:
  explicit FreshSignals(bool inOwnGroup = false) {
    posix_spawnattr_init(&attributes_);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (inOwnGroup) {
      posix_spawnattr_setpgroup(&attributes_, 0);
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes_, flags);
  }
  ~FreshSignals() { posix_spawnattr_destroy(&attributes_); }
  FreshSignals(const FreshSignals&) = delete;
  FreshSignals& operator=(const FreshSignals&) = delete;
  const posix_spawnattr_t* get() const { return &attributes_; }

private:
  posix_spawnattr_t attributes_;
};

/// Adds to `actions` the closing, in the child, of every descriptor from 3
/// up: the enabler's own are close-on-exec already, but the caller's (a lock
/// that `flock` holds for the run, say) would otherwise reach the child and
/// stay held for as long as it lives.
void closeInheritedFds(posix_spawn_file_actions_t* actions) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  posix_spawn_file_actions_addclosefrom_np(actions, 3);
#else
  long most = sysconf(_SC_OPEN_MAX);
  for (int fd = 3; fd < (most > 0 && most < 65536 ? most : 65536); ++fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC))
      posix_spawn_file_actions_addclose(actions, fd);
  }
#endif
}

class PosixChildProcess : public ChildProcess {
public:
  explicit PosixChildProcess(ChildErrorOutput errorOutput);
  ~PosixChildProcess() override;
  bool start(const char* program, const char* arguments, SystemError* error);

  bool terminate() override;
  int exitCode() override;
  int wait() override;
  ByteWriter* input() override { return input_.get(); }
  ByteReader* output() override { return output_.get(); }
  ByteReader* error() override { return error_.get(); }

private:
  void collect(int options);
  int codeOf(int status) const;

  std::unique_ptr<PipeWriter> input_;
  std::unique_ptr<PipeReader> output_;
  std::unique_ptr<PipeReader> error_;
  pid_t pid_ = -1; ///< -1 until the child has been started
  bool reaped_ = false;
  int code_ = -1; ///< meaningful once reaped_
  bool terminated_ = false;
  Pipe stdin_;
  Pipe stdout_;
  Pipe stderr_; ///< never made when the error output is unread
};

PosixChildProcess::PosixChildProcess(ChildErrorOutput errorOutput)
    : stdin_(true), stdout_(true),
      stderr_(errorOutput == ChildErrorOutput::kPipe) {
  output_.reset(new PipeReader(stdout_.readEnd.release()));
  if (errorOutput == ChildErrorOutput::kPipe)
    error_.reset(new PipeReader(stderr_.readEnd.release()));
  input_.reset(new PipeWriter(stdin_.writeEnd.release()));
}

PosixChildProcess::~PosixChildProcess() {
  input_.reset();
  output_.reset();
  error_.reset();
  stdin_.readEnd.close();
  stdout_.writeEnd.close();
  stderr_.writeEnd.close();
  // Releasing never waits; a child that has already ended is reaped here,
  // one still running as soon as it ends, so that none lingers as a zombie.
  if (pid_ > 0 && !reaped_) {
    collect(WNOHANG);
    if (!reaped_)
      reapWhenEnded(pid_);
  }
  stderr_.close();
  stdout_.close();
  stdin_.close();
}

bool PosixChildProcess::start(const char* program, const char* arguments,
                              SystemError* error) {
  posix_spawn_file_actions_t actions;
  if (int failed = posix_spawn_file_actions_init(&actions)) {
    keepSystemError(error,
                    systemError("posix_spawn_file_actions_init", failed));
    return false;
  }
  // A pipe that could not be made leaves the child the null device there, as
  // a failed pipe leaves its streams reading and writing nothing.
  if (stdin_.readEnd.valid())
    posix_spawn_file_actions_adddup2(&actions, stdin_.readEnd.get(), 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (stdout_.writeEnd.valid())
    posix_spawn_file_actions_adddup2(&actions, stdout_.writeEnd.get(), 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (stderr_.writeEnd.valid())
    posix_spawn_file_actions_adddup2(&actions, stderr_.writeEnd.get(), 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  closeInheritedFds(&actions);

  FreshSignals attributes(/*inOwnGroup=*/true);
  std::vector<std::string> words = splitArguments(arguments);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program));
  for (std::string& word : words)
    argv.push_back(&word[0]);
  argv.push_back(nullptr);

  // posix_spawnp searches PATH for a bare name and reports a program that
  // cannot be executed as its result, so no child is left behind for it.
  pid_t pid;
  int failed = posix_spawnp(&pid, program, &actions, attributes.get(),
                            argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    keepSystemError(
        error,
        systemError(std::string("posix_spawnp '") + program + "'", failed));
    return false;
  }
  pid_ = pid;
  output_->watchChild(pid);
  // The child holds its own copies now. Closing the enabler's copy of the
  // output's write end lets a read see the end once the child is done.
  stdin_.readEnd.close();
  stdout_.writeEnd.close();
  stderr_.writeEnd.close();
  return true;
}

int PosixChildProcess::codeOf(int status) const {
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    if (terminated_ && WTERMSIG(status) == SIGKILL)
      return 0;
    return 128 + WTERMSIG(status);
  }
  return -1;
}

void PosixChildProcess::collect(int options) {
  int status = 0;
  pid_t done;
  do
    done = waitpid(pid_, &status, options);
  while (done < 0 && errno == EINTR);
  if (done == pid_) {
    reaped_ = true;
    code_ = codeOf(status);
  }
}

bool PosixChildProcess::terminate() {
  // Once reaped, the number may already belong to another process. Until
  // then it names the child's process group too, which holds what the child
  // started: that is ended with it.
  if (pid_ <= 0 || reaped_)
    return false;
  if (kill(-pid_, SIGKILL) != 0 && kill(pid_, SIGKILL) != 0)
    return false;
  terminated_ = true;
  return true;
}

int PosixChildProcess::exitCode() {
  if (pid_ <= 0)
    return -1;
  if (!reaped_)
    collect(WNOHANG);
  return reaped_ ? code_ : -1;
}

int PosixChildProcess::wait() {
  if (pid_ <= 0)
    return -1;
  if (!reaped_)
    collect(0);
  return reaped_ ? code_ : -1;
}

} // namespace

ChildProcess* makeChildProcess() {
  return new PosixChildProcess(ChildErrorOutput::kPipe);
}

ChildProcess* startChildProcess(const char* program, const char* arguments,
                                ChildErrorOutput errorOutput,
                                SystemError* error) {
  ENABLER_ASSERT(program != 0, "child_process");
  std::unique_ptr<PosixChildProcess> child(new PosixChildProcess(errorOutput));
  if (!child->start(program, arguments, error))
    return nullptr;
  return child.release();
}

int runChildProcess(const ProgramCommand& command, SystemError* error) {
  std::vector<char*> argv;
  for (const std::string& argument : command.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  FreshSignals attributes;
  // posix_spawn, not posix_spawnp: the program is a path of its own and is
  // never looked for on PATH.
  if (int failed = posix_spawn(&pid, command.program.c_str(), nullptr,
                               attributes.get(), argv.data(), environ)) {
    keepSystemError(
        error, systemError("posix_spawn '" + command.program + "'", failed));
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      keepSystemError(error, lastSystemError("waitpid"));
      return -1;
    }
  }
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  // A program killed by a signal has no exit status of its own.
  keepSystemError(error,
                  SystemError{"'" + command.program + "' ended by signal",
                              WTERMSIG(status), strsignal(WTERMSIG(status))});
  return -1;
}
