// What every control of a form shares: one child window, its caption, place, enabled and visible state.
#pragma once

#include <string>

#include "ui/Toolkit.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"
#include "win32/toolkit/Win32Form.h"

// A control that wants the WM_COMMAND notifications its child windows send.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;
  virtual void Command(HWND sender, unsigned code) = 0;
};

namespace childwindow {

// Creates a visible child of the form in the form's font, placed in control
// coordinates, with the next control id; the toolkit's own creation
// notifications reach no handler.
HWND Create(Win32Form& form, const wchar_t* windowClass, const std::string& text, DWORD style, DWORD exStyle,
            const ui::Bounds& b);
void Destroy(Win32Form& form, HWND child);
void Attach(HWND child, CommandTarget* target);
CommandTarget* TargetOf(HWND child);

// The window text, and the same in code page 1252 as the toolkit hands it on.
widetext::Utf16 WideText(HWND window);
std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
void Place(const Win32Form& form, HWND child, const ui::Bounds& b);
ui::Bounds Where(const Win32Form& form, HWND child);
bool HasStyle(HWND window, DWORD style);

}  // namespace childwindow

template <typename Interface>
class ChildControl : public Interface {
 public:
  ~ChildControl() override { childwindow::Destroy(form_, hwnd_); }
  ChildControl(const ChildControl&) = delete;
  ChildControl& operator=(const ChildControl&) = delete;

  void SetCaption(const std::string& text) override { childwindow::SetText(hwnd_, text); }
  std::string Caption() const override { return childwindow::Text(hwnd_); }
  void SetBounds(const ui::Bounds& b) override { childwindow::Place(form_, hwnd_, b); }
  ui::Bounds GetBounds() const override { return childwindow::Where(form_, hwnd_); }
  void SetEnabled(bool enabled) override {
    if (!enabled) form_.HandFocusOn(hwnd_);
    EnableWindow(hwnd_, enabled ? TRUE : FALSE);
    if (enabled) form_.TakeFocusBack(hwnd_);
  }
  bool IsEnabled() const override { return !childwindow::HasStyle(hwnd_, WS_DISABLED); }
  void SetVisible(bool visible) override {
    if (!visible) form_.HandFocusOn(hwnd_);
    ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
    if (visible) form_.TakeFocusBack(hwnd_);
  }
  // The control's own flag: a control on a hidden form still counts as visible.
  bool IsVisible() const override { return childwindow::HasStyle(hwnd_, WS_VISIBLE); }

  HWND Handle() const { return hwnd_; }

 protected:
  ChildControl(Win32Form& form, HWND hwnd) : form_(form), hwnd_(hwnd) {}

  Win32Form& form_;
  HWND hwnd_;
};
