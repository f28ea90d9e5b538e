// A timer of a form: SetTimer on the form's window, delivered as WM_TIMER by whichever message loop runs.
#pragma once

#include "ui/Toolkit.h"
#include "win32/WindowsApi.h"

// What a timer needs of the form it runs on: the window its system timer is
// set on (null once the window is gone), and the form's way of running a
// handler. The form owns its timers and hands them each WM_TIMER.
class TimerHost {
 public:
  virtual HWND TimerWindow() const = 0;
  virtual void FireTick(const ui::Handler& handler) = 0;

 protected:
  ~TimerHost() = default;
};

class Win32Timer final : public ui::Timer {
 public:
  Win32Timer(TimerHost& host, UINT_PTR id);
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;

  void SetInterval(uint32_t milliseconds) override;
  uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool running) override;
  bool IsEnabled() const override { return enabled_; }

  UINT_PTR Id() const { return id_; }
  void Tick();

 private:
  void Restart();

  TimerHost& host_;
  UINT_PTR id_;
  uint32_t interval_ = 1000;
  bool enabled_ = false;
};
