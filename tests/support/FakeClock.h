// The one fake clock of the tests and benchmarks: time passes only when someone looks at it or sleeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace fake {

// Each look moves time on by a millisecond, so a busy wait of one second ends
// after a thousand polls and no test waits for real.
class FakeClock : public Clock {
 public:
  explicit FakeClock(uint32_t start = 0) : now(start) {}
  uint32_t TickCount() override { return now++; }
  void Sleep(uint32_t ms) override {
    now += ms;
    if (log != nullptr) log->push_back("Sleep " + std::to_string(ms));
  }
  // Time a blocking call spent, such as a read that waited out its timeout.
  void Advance(uint32_t ms) { now += ms; }

  uint32_t now = 0;
  // When set, each sleep is written there among the device's calls.
  std::vector<std::string>* log = nullptr;
};

}  // namespace fake
