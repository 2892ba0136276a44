// bounded_reader.cpp: the byte and time bounds on reading a stream; the
// waiting itself is the source's (a pipe's poll or peek).
#include "common/process/bounded_reader.h"

BoundedReader::BoundedReader(ByteReader* source, const ReadLimits& limits,
                             MonotonicClock& clock)
    : source_(source), limits_(limits), clock_(&clock),
      deadline_(clock.milliseconds(), limits.timeLimitMs) {}

long BoundedReader::millisecondsLeft() const {
  // Never more than the time limit, itself a long.
  return static_cast<long>(deadline_.millisecondsLeft(clock_->milliseconds()));
}

int BoundedReader::pass(char* buffer, long code) {
  limitPassed_ = true;
  readError_ = systemError("read the report", code);
  buffer[0] = 0;
  return 0;
}

bool BoundedReader::waitReadable(long milliseconds) {
  if (limitPassed_)
    return true;
  long left = millisecondsLeft();
  return source_->waitReadable(milliseconds < left ? milliseconds : left);
}

int BoundedReader::read(char* buffer, int count) {
  if (count < 0)
    return 0;
  if (limitPassed_ || count == 0) {
    buffer[0] = 0;
    return 0;
  }
  long left = millisecondsLeft();
  if (left <= 0 || !source_->waitReadable(left))
    return pass(buffer, timedOutErrorCode());
  // One byte beyond the limit is enough to know that the stream is too
  // large; asking for no more keeps what is held bounded.
  size_t room = limits_.maxBytes - total_ + 1;
  int ask = static_cast<size_t>(count) < room ? count : static_cast<int>(room);
  int got = source_->read(buffer, ask);
  readError_ = source_->readError();
  total_ += static_cast<size_t>(got);
  if (total_ > limits_.maxBytes)
    return pass(buffer, tooLargeErrorCode());
  return got;
}
