// monotonic_clock_posix.cpp: POSIX half of the monotonic clock:
// CLOCK_MONOTONIC, which settimeofday, clock_settime and NTP steps leave
// alone.
#include "common/platform/monotonic_clock.h"

#include <time.h>

uint32_t monotonicMilliseconds() {
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Cut to 32 bits, so that both halves wrap alike and a limit behaves the
  // same natively as on Windows.
  uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u +
                          static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(milliseconds);
}
