// Millisecond tick counter and sleep, as the link's pauses and deadlines need them; and the milliseconds
// a reading's record and trace tell, the same for every front end.
#pragma once

#include <chrono>
#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};

// Milliseconds since it was started (or restarted), on the system's steady clock.
class Stopwatch {
 public:
  int64_t ElapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start_).count();
  }
  void Restart() { start_ = Steady::now(); }

 private:
  using Steady = std::chrono::steady_clock;
  Steady::time_point start_ = Steady::now();
};

// The time of day in milliseconds since 1970, as records carry it.
inline int64_t UnixMsNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
