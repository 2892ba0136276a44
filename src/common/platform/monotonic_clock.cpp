// monotonic_clock.cpp: the time limits on the monotonic clock, which need
// nothing from the system but its readings.
#include "common/platform/monotonic_clock.h"

namespace {

class SystemMonotonicClock : public MonotonicClock {
public:
  uint32_t milliseconds() override { return monotonicMilliseconds(); }
};

uint32_t clampedDuration(long durationMs) {
  if (durationMs <= 0)
    return 0;
  // Through 64 bits: a long of 32 bits never exceeds the longest duration,
  // one of 64 may.
  unsigned long long wide = static_cast<unsigned long long>(durationMs);
  return wide < Deadline::kLongestMs ? static_cast<uint32_t>(wide)
                                     : Deadline::kLongestMs;
}

} // namespace

MonotonicClock& systemMonotonicClock() {
  static SystemMonotonicClock clock;
  return clock;
}

Deadline::Deadline(uint32_t start, long durationMs)
    : start_(start), durationMs_(clampedDuration(durationMs)) {}

uint32_t Deadline::millisecondsLeft(uint32_t now) const {
  // Unsigned subtraction is taken modulo 2^32, so a reading that has wrapped
  // past 0 since the start still gives the time gone by.
  uint32_t elapsed = now - start_;
  return elapsed < durationMs_ ? durationMs_ - elapsed : 0;
}
