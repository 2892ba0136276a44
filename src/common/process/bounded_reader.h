// bounded_reader.h: a byte stream that gives another stream's bytes up to a
// number of bytes and a point in time, so that a child's report can neither
// fill the memory nor keep the reader waiting for ever. No OS header here.
#ifndef ENABLER_PROCESS_BOUNDED_READER_H
#define ENABLER_PROCESS_BOUNDED_READER_H

#include "common/platform/monotonic_clock.h"
#include "common/process/child_process.h"

#include <stddef.h>

/// How much of a stream is accepted, and for how long it is waited for.
struct ReadLimits {
  /// Bytes the stream may hold in all; one more makes it too large.
  size_t maxBytes;
  /// Milliseconds from the making of the reader until the stream's end.
  long timeLimitMs;
};

/// Reads `source` (not owned) within `limits`. When the source holds more
/// than maxBytes bytes, or its next bytes or its end have not come when the
/// time limit has passed, the read gives 0 as at the end of the stream,
/// limitPassed() turns true and readError() names the bound (the system's
/// "too large" or "timed out" code); nothing more is read from the source
/// after that. Bytes beyond maxBytes are never handed out, and the source is
/// never asked for more than one byte beyond them. The time limit is
/// measured on `clock` (not owned), a monotonic clock, so that setting the
/// date and time while the source is waited for neither shortens nor
/// lengthens it.
class BoundedReader : public ByteReader {
public:
  BoundedReader(ByteReader* source, const ReadLimits& limits,
                MonotonicClock& clock = systemMonotonicClock());
  int read(char* buffer, int count) override;
  bool waitReadable(long milliseconds) override;

  bool limitPassed() const { return limitPassed_; }

private:
  long millisecondsLeft() const;
  int pass(char* buffer, long code);

  ByteReader* source_;
  ReadLimits limits_;
  MonotonicClock* clock_;
  Deadline deadline_;
  size_t total_ = 0;
  bool limitPassed_ = false;
};

#endif
