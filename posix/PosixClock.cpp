// Monotonic milliseconds and an uninterrupted sleep behind the Clock seam.
#include "posix/PosixClock.h"

#include <cerrno>
#include <ctime>

uint32_t PosixClock::TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps at 2^32 like GetTickCount
}

void PosixClock::Sleep(uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal must not shorten the pause the unit relies on.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
