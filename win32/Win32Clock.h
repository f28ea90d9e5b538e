// The clock on Windows: the system tick counter and a real sleep.
#pragma once

#include "platform/Clock.h"

class Win32Clock : public Clock {
 public:
  uint32_t TickCount() override;
  void Sleep(uint32_t milliseconds) override;
};
