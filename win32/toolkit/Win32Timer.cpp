// A form's timer: the system timer runs only while the timer is enabled with a non-zero interval.
#include "win32/toolkit/Win32Timer.h"

Win32Timer::Win32Timer(TimerHost& host, UINT_PTR id) : host_(host), id_(id) {}

Win32Timer::~Win32Timer() {
  if (host_.TimerWindow()) KillTimer(host_.TimerWindow(), id_);
}

void Win32Timer::SetInterval(uint32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  Restart();
}

void Win32Timer::SetEnabled(bool running) {
  if (running == enabled_) return;
  enabled_ = running;
  Restart();
}

void Win32Timer::Tick() {
  // A WM_TIMER already queued when the timer was stopped is not a tick.
  if (enabled_ && interval_ > 0) host_.FireTick(OnTimer);
}

void Win32Timer::Restart() {
  if (!host_.TimerWindow()) return;
  // SetTimer with the same id would also restart the period; killing first
  // keeps a stopped or zero-interval timer from firing at all.
  KillTimer(host_.TimerWindow(), id_);
  if (enabled_ && interval_ > 0) SetTimer(host_.TimerWindow(), id_, interval_, nullptr);
}
