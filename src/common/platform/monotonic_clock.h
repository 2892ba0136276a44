// monotonic_clock.h: a millisecond clock that only goes forward, whatever is
// done to the date and time, and time limits measured on it. No OS header
// here.
#ifndef ENABLER_PLATFORM_MONOTONIC_CLOCK_H
#define ENABLER_PLATFORM_MONOTONIC_CLOCK_H

#include <stdint.h>

/// Milliseconds from an arbitrary origin on a clock that setting the date and
/// time does not move: GetTickCount on Windows, CLOCK_MONOTONIC natively. The
/// count is 32 bits wide everywhere, as GetTickCount's is (the release runs
/// on XP, which has no GetTickCount64), so it wraps to 0 every 2^32 ms (49.7
/// days); only the difference of two readings less than that apart means
/// anything, which Deadline takes care of.
uint32_t monotonicMilliseconds();

/// A source of monotonic milliseconds as monotonicMilliseconds() gives them.
/// Code whose time limit a test has to drive takes one (BoundedReader), so
/// that the test can move time itself.
class MonotonicClock {
public:
  virtual ~MonotonicClock() = default;
  virtual uint32_t milliseconds() = 0;
};

/// The system's clock: monotonicMilliseconds(). It lives as long as the
/// program.
MonotonicClock& systemMonotonicClock();

/// A time limit that starts at a reading of a monotonic millisecond clock
/// and lasts a number of milliseconds.
class Deadline {
public:
  /// A negative duration is 0; one beyond kLongestMs is kLongestMs.
  Deadline(uint32_t start, long durationMs);
  /// Milliseconds left at `now`, a later reading of the same clock; 0 once
  /// the limit has passed. Right across the clock's wraparound, for a `now`
  /// less than 2^32 ms after the start.
  uint32_t millisecondsLeft(uint32_t now) const;

  static constexpr uint32_t kLongestMs = 0xFFFFFFFFu;

private:
  uint32_t start_;
  uint32_t durationMs_;
};

#endif
