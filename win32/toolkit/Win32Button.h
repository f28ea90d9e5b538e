// A push button; the default one is pressed by Enter.
#pragma once

#include "win32/toolkit/ChildControl.h"

class Win32Button final : public ChildControl<ui::Button>, private CommandTarget {
 public:
  Win32Button(ControlHost& form, const ui::Bounds& b, const std::string& caption);
  ~Win32Button() override;
  void SetDefault(bool isDefault) override;

 private:
  void Command(HWND sender, unsigned code) override;
};
