// child_process_win32.cpp: Win32 half of the child-process layer. Only Win32
// calls live here; anything the POSIX half would repeat goes to
// child_process.cpp.
#include "common/process/child_process.h"

#include "common/check.h"
#include "common/platform/monotonic_clock.h"
#include "common/platform/scoped_resource_win32.h"
#include "common/process/inheritance_win32.h"

#include <windows.h>

#include <memory>

namespace {

const DWORD kPipeBufferSize = 16384;
const DWORD kStartupFlags =
    STARTF_USESHOWWINDOW | STARTF_USEPOSITION | STARTF_USESTDHANDLES;
const DWORD kWindowX = 0;
const DWORD kWindowY = 30000;
/// The exit code of a child ended by terminate(). Not 0, which anything that
/// audits exits reads as success; and not ERROR_TIMEOUT, since a report too
/// large ends the child as well as one too late: the code says the process
/// was ended, the caller keeps why.
const UINT kTerminatedExitCode = ERROR_PROCESS_ABORTED;

/// One anonymous pipe, both ends inheritable as made.
struct Pipe {
  ScopedHandle readEnd;
  ScopedHandle writeEnd;

  Pipe() {
    SECURITY_ATTRIBUTES security = {};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    HANDLE readHandle, writeHandle;
    if (CreatePipe(&readHandle, &writeHandle, &security, kPipeBufferSize)) {
      readEnd.reset(readHandle);
      writeEnd.reset(writeHandle);
    }
  }
  void closeRead() { readEnd.reset(); }
  void closeWrite() { writeEnd.reset(); }
  void close() {
    closeRead();
    closeWrite();
  }
};

/// A copy of `end` that the child does not inherit; the inheritable original
/// is closed. Null when there is no end or the duplication fails. (An invalid
/// end must not reach DuplicateHandle: INVALID_HANDLE_VALUE is also the
/// pseudo handle of the current process.)
HANDLE keepFromChild(ScopedHandle& end) {
  HANDLE copy = nullptr;
  if (end.valid()) {
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, end.get(), self, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
      copy = nullptr;
  }
  end.reset();
  return copy;
}

class PipeReader : public ByteReader {
public:
  explicit PipeReader(HANDLE handle) : handle_(handle) {}
  int read(char* buffer, int count) override;
  void close() override { handle_.reset(); }
  bool waitReadable(long milliseconds) override;
  /// Makes this the output of `process`, in `job` when that is not null
  /// (neither owned; both outlive the reader): once the process has ended,
  /// reads give what the pipe holds and then the end, even while a process
  /// it started still holds the pipe, and the job, which holds such
  /// processes, is ended.
  void watchProcess(HANDLE process, HANDLE job) {
    process_ = process;
    job_ = job;
  }

private:
  bool processEnded() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
  }

  ScopedHandle handle_;
  HANDLE process_ = nullptr;
  HANDLE job_ = nullptr;
};

bool PipeReader::waitReadable(long milliseconds) {
  if (!handle_.valid())
    return true;
  // Anonymous pipes cannot be waited on, so the pipe is peeked at, with
  // pauses that grow to 50 ms. While the child runs the pauses are waits on
  // it: a child that writes its report and ends is seen at once.
  const Deadline deadline(monotonicMilliseconds(), milliseconds);
  DWORD pause = 1;
  bool childRuns = process_ != nullptr;
  for (;;) {
    DWORD available = 0;
    // A failed peek is a broken pipe (the end of the output) or a failure
    // that the read reports.
    if (!PeekNamedPipe(handle_.get(), nullptr, 0, nullptr, &available,
                       nullptr) ||
        available > 0)
      return true;
    // An ended child with its pipe empty: the read gives the end.
    if (process_ && !childRuns)
      return true;
    DWORD left = deadline.millisecondsLeft(monotonicMilliseconds());
    if (left == 0)
      return false;
    DWORD step = pause < left ? pause : left;
    if (childRuns)
      childRuns = WaitForSingleObject(process_, step) == WAIT_TIMEOUT;
    else
      Sleep(step);
    if (pause < 50)
      pause *= 2;
  }
}

int PipeReader::read(char* buffer, int count) {
  if (count < 0)
    return 0;
  DWORD got = 0;
  // A read of 0 bytes is answered without ReadFile, which on a pipe would
  // wait for data that is not wanted.
  readError_ = SystemError();
  DWORD available = 0;
  if (handle_.valid() && count > 0 && processEnded() &&
      PeekNamedPipe(handle_.get(), nullptr, 0, nullptr, &available, nullptr) &&
      available == 0) {
    // The child has ended and the pipe holds nothing: whatever still holds
    // the write end was started by the child and is ended, and the output
    // ends here instead of when that process lets go.
    if (job_)
      TerminateJobObject(job_, kTerminatedExitCode);
    handle_.reset();
  } else if (handle_.valid() && count > 0) {
    if (!ReadFile(handle_.get(), buffer, static_cast<DWORD>(count), &got,
                  nullptr)) {
      // A broken pipe is how the end of the child's output shows.
      if (GetLastError() != ERROR_BROKEN_PIPE)
        readError_ = lastSystemError("ReadFile");
      got = 0;
    }
  }
  buffer[got] = 0;
  return static_cast<int>(got);
}

class PipeWriter : public ByteWriter {
public:
  explicit PipeWriter(HANDLE handle) : handle_(handle) {}
  int write(const char* buffer, int count) override {
    if (!handle_.valid() || count <= 0)
      return 0;
    DWORD written = 0;
    if (!WriteFile(handle_.get(), buffer, static_cast<DWORD>(count), &written,
                   nullptr))
      return 0;
    return static_cast<int>(written);
  }
  void close() override { handle_.reset(); }

private:
  ScopedHandle handle_;
};

class Win32ChildProcess : public ChildProcess {
public:
  Win32ChildProcess();
  ~Win32ChildProcess() override;
  bool start(const char* program, const char* arguments, SystemError* error);

  bool terminate() override;
  int exitCode() override;
  int wait() override;
  ByteWriter* input() override { return input_.get(); }
  ByteReader* output() override { return output_.get(); }
  ByteReader* error() override { return error_.get(); }

private:
  std::unique_ptr<PipeWriter> input_;
  std::unique_ptr<PipeReader> output_;
  std::unique_ptr<PipeReader> error_;
  ScopedHandle process_; ///< invalid until the child has been started
  ScopedHandle job_;     ///< the child's job; invalid when it has none
  Pipe stdin_;
  Pipe stdout_;
  Pipe stderr_;
};

// The members are made in order: the streams empty, then the standard input,
// output and error pipes.
Win32ChildProcess::Win32ChildProcess() {
  // Only the child's ends stay inheritable; were the enabler's ends inherited
  // too, the child would hold its own output's read end and its input's write
  // end, and neither pipe would ever report its end.
  output_.reset(new PipeReader(keepFromChild(stdout_.readEnd)));
  error_.reset(new PipeReader(keepFromChild(stderr_.readEnd)));
  input_.reset(new PipeWriter(keepFromChild(stdin_.writeEnd)));
}

Win32ChildProcess::~Win32ChildProcess() {
  input_.reset();
  output_.reset();
  error_.reset();
  stdin_.closeRead();
  stdout_.closeWrite();
  stderr_.closeWrite();
  process_.reset();
  job_.reset();
  stderr_.close();
  stdout_.close();
  stdin_.close();
}

bool Win32ChildProcess::start(const char* program, const char* arguments,
                              SystemError* error) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = kStartupFlags;
  startup.wShowWindow = SW_HIDE;
  startup.dwX = kWindowX;
  startup.dwY = kWindowY;
  startup.hStdInput = stdin_.readEnd.get();
  startup.hStdOutput = stdout_.writeEnd.get();
  startup.hStdError = stderr_.writeEnd.get();

  // CreateProcessA may write into the command line, so it gets its own copy.
  std::string text = composeCommandLine(program, arguments);
  std::vector<char> commandLine(text.begin(), text.end());
  commandLine.push_back(0);

  // The child inherits its three pipe ends and nothing else: not the log,
  // not the enabler's own standard handles (the caller's pipes, which a child
  // that outlives the enabler would otherwise hold open).
  HANDLE ends[3];
  DWORD endCount = 0;
  for (const ScopedHandle* end :
       {&stdin_.readEnd, &stdout_.writeEnd, &stderr_.writeEnd})
    if (end->valid())
      ends[endCount++] = end->get();
  InheritOnly inheritance(startup, ends, endCount);

  // The child starts suspended and is put in a job of its own before it runs,
  // so that every process it starts is in the job too and can be ended with
  // it. Where the system allows no job inside the one the enabler runs in
  // (before Windows 8), the child runs without one.
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                      DETACHED_PROCESS | CREATE_SUSPENDED |
                          inheritance.creationFlags(),
                      nullptr, nullptr, inheritance.startupInfo(), &info)) {
    keepSystemError(error, lastSystemError("CreateProcessA '" + text + "'"));
    return false;
  }
  process_.reset(info.hProcess);
  ScopedHandle thread(info.hThread);
  job_.reset(CreateJobObjectA(nullptr, nullptr));
  if (job_.valid() && !AssignProcessToJobObject(job_.get(), process_.get()))
    job_.reset();
  if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
    keepSystemError(error, lastSystemError("ResumeThread '" + text + "'"));
    TerminateProcess(process_.get(), kTerminatedExitCode);
    process_.reset();
    job_.reset();
    return false;
  }
  output_->watchProcess(process_.get(), job_.valid() ? job_.get() : nullptr);
  // The child holds its own copies now. Closing the enabler's copy of the
  // output's write end lets a read see the end once the child is done.
  stdin_.closeRead();
  stdout_.closeWrite();
  stderr_.closeWrite();
  return true;
}

bool Win32ChildProcess::terminate() {
  // An invalid handle must not reach TerminateProcess: INVALID_HANDLE_VALUE
  // would name the enabler itself.
  if (!process_.valid())
    return false;
  if (job_.valid() && TerminateJobObject(job_.get(), kTerminatedExitCode))
    return true;
  return TerminateProcess(process_.get(), kTerminatedExitCode) != 0;
}

int Win32ChildProcess::exitCode() {
  if (!process_.valid())
    return -1;
  DWORD code;
  if (!GetExitCodeProcess(process_.get(), &code) || code == STILL_ACTIVE)
    return -1;
  return static_cast<int>(code);
}

int Win32ChildProcess::wait() {
  if (!process_.valid())
    return -1;
  WaitForSingleObject(process_.get(), INFINITE);
  return exitCode();
}

} // namespace

ChildProcess* makeChildProcess() {
  return new Win32ChildProcess();
}

ChildProcess* startChildProcess(const char* program, const char* arguments,
                                ChildErrorOutput, SystemError* error) {
  ENABLER_ASSERT(program != 0, "child_process");
  // The error pipe is made alike for both kinds of error output: a user that
  // never reads it closes error() after the start, and from then on the
  // child's writes to it fail instead of blocking.
  std::unique_ptr<Win32ChildProcess> child(new Win32ChildProcess());
  if (!child->start(program, arguments, error))
    return nullptr;
  return child.release();
}

namespace {

// The standard handles reach the child only when they may be inherited; a
// handle that cannot be marked (none, or a console one) stays as it is.
HANDLE inheritable(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (handle && handle != INVALID_HANDLE_VALUE)
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return handle;
}

} // namespace

int runChildProcess(const ProgramCommand& command, SystemError* error) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritable(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritable(STD_ERROR_HANDLE);

  PROCESS_INFORMATION info = {};
  // CreateProcessA may write into the command line, so it gets a copy. The
  // program is named apart, so nothing in the line is taken as the program.
  std::vector<char> line(command.commandLine.begin(),
                         command.commandLine.end());
  line.push_back(0);
  if (!CreateProcessA(command.program.c_str(), line.data(), nullptr, nullptr,
                      /*bInheritHandles=*/TRUE, /*dwCreationFlags=*/0,
                      /*lpEnvironment=*/nullptr,
                      /*lpCurrentDirectory=*/nullptr, &startup, &info)) {
    keepSystemError(
        error, lastSystemError("CreateProcessA '" + command.program + "'"));
    return -1;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    keepSystemError(error, lastSystemError("GetExitCodeProcess"));
    return -1;
  }
  return static_cast<int>(code);
}
