// The clock on POSIX: CLOCK_MONOTONIC in milliseconds, wrapping like GetTickCount, and nanosleep.
#pragma once

#include "platform/Clock.h"

class PosixClock : public Clock {
 public:
  uint32_t TickCount() override;
  void Sleep(uint32_t milliseconds) override;
};
