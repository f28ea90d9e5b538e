// The clock of the browser: performance.now(), and sleeps that hand the page back to the browser.
#pragma once

#include "platform/Clock.h"

class WebClock : public Clock {
 public:
  uint32_t TickCount() override;
  // Suspends the C++ stack on a timer: the page goes on drawing and taking clicks meanwhile.
  void Sleep(uint32_t milliseconds) override;
};
