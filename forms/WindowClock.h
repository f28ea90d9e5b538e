// The clock the main window's link runs on: the system's requests get in while the link pauses, and
// once the session ends no pause is waited out.
#pragma once

#include <cstdint>

#include "link/UnitLine.h"
#include "platform/Clock.h"
#include "ui/Toolkit.h"

// Every step of a reading runs in a tick of the window's timer, and the handshake's step blocks the thread
// for two seconds: the one-second pause before the request, then up to 1.1 s for the answer. The end of the
// session is a message the system sends, which waits for the thread; Windows ends the program about five
// seconds after it, unit connected or not. During the pause, the busy look at the counter therefore lets
// such messages in, once for every millisecond the counter moves on, so that the end of the session is
// handled at once. Once the session has ended (stop), each look finds hours gone by, so that the pause under
// way ends as soon as the handler has let the unit go.
class WindowClock : public Clock {
 public:
  WindowClock(Clock& inner, ui::Toolkit& toolkit, StopRequest stop)
      : inner_(inner), toolkit_(toolkit), stop_(std::move(stop)) {}
  uint32_t TickCount() override;
  void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }

 private:
  bool Stopped() const { return stop_ && stop_(); }

  Clock& inner_;
  ui::Toolkit& toolkit_;
  StopRequest stop_;
  uint32_t lastLook_ = 0;
  uint32_t leapt_ = 0;
};
