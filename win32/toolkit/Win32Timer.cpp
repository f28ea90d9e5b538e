// A form's timer: the system timer runs only while the timer is enabled with a non-zero interval.
#include "win32/toolkit/Win32Timer.h"

#include "win32/toolkit/Win32Form.h"

Win32Timer::Win32Timer(Win32Form& form, UINT_PTR id) : form_(form), id_(id) {}

Win32Timer::~Win32Timer() {
  if (form_.Handle()) KillTimer(form_.Handle(), id_);
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
  if (enabled_ && interval_ > 0) form_.Fire(OnTimer);
}

void Win32Timer::Restart() {
  if (!form_.Handle()) return;
  // SetTimer with the same id would also restart the period; killing first
  // keeps a stopped or zero-interval timer from firing at all.
  KillTimer(form_.Handle(), id_);
  if (enabled_ && interval_ > 0) SetTimer(form_.Handle(), id_, interval_, nullptr);
}
