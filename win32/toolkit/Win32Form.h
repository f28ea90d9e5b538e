// A form as a top-level window; its one window procedure hands each message to the form or a control.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Toolkit.h"
#include "win32/WindowsApi.h"
#include "win32/toolkit/Win32Timer.h"

class Win32Toolkit;

class Win32Form final : public ui::Form, private TimerHost {
 public:
  Win32Form(Win32Toolkit& toolkit, const ui::FormStyle& style, HWND owner, bool isMain);
  ~Win32Form() override;
  Win32Form(const Win32Form&) = delete;
  Win32Form& operator=(const Win32Form&) = delete;

  // The outer window rectangle, in screen coordinates.
  void SetCaption(const std::string& text) override;
  std::string Caption() const override;
  void SetBounds(const ui::Bounds& b) override;
  ui::Bounds GetBounds() const override;
  void SetEnabled(bool enabled) override;
  bool IsEnabled() const override;
  void SetVisible(bool visible) override;
  bool IsVisible() const override;

  ui::Button& CreateButton(const ui::Bounds& b, const std::string& caption) override;
  ui::Memo& CreateMemo(const ui::Bounds& b) override;
  ui::RadioGroup& CreateRadioGroup(const ui::Bounds& b, const std::string& caption) override;
  ui::Timer& CreateTimer() override;
  int TextWidth(const std::string& text) const override;
  void ShowModal() override;
  void Close() override;
  void PostMessage(const ui::Message& m) override;
  void SizeToControls() override;
  void SetSessionEndReason(const std::string& text) override;

  // The one window procedure of every form, for the window class.
  static WNDPROC ClassWindowProc() { return &WindowProc; }

  // What the controls need of their form.
  HWND Handle() const { return hwnd_; }
  HFONT Font() const { return font_; }
  int FontHeight() const { return fontHeight_; }
  // Controls sit inside the border; their coordinates leave it out.
  int Border() const { return border_; }
  int NextControlId() { return nextControlId_++; }
  void SetDefaultButton(HWND button);
  HWND DefaultButton() const { return defaultButton_; }
  // Runs a control's handler unless the toolkit itself is changing the form.
  void Fire(const ui::Handler& handler);
  // A control that holds the keyboard focus and is about to be disabled or
  // hidden hands it on to the next control that takes it; once usable again
  // it takes the focus back, unless the user has moved it meanwhile.
  void HandFocusOn(HWND control);
  void TakeFocusBack(HWND control);

  // While one of these lives, notifications that the toolkit's own calls
  // provoke (creating controls, checking a radio button) reach no handler.
  class Quiet {
   public:
    explicit Quiet(Win32Form& form) : form_(form) { ++form_.quiet_; }
    ~Quiet() { --form_.quiet_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    Win32Form& form_;
  };

 private:
  HWND TimerWindow() const override { return hwnd_; }
  void FireTick(const ui::Handler& handler) override { Fire(handler); }
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void Show();
  void CentreOnScreen();
  void SetClientSize(int width, int height);
  void FocusOnActivation();
  // The focus of this form: the system's while the form is active, else the
  // one it takes back on activation.
  HWND FormFocus() const;
  void MoveFocus(HWND to);
  // The push button holding the focus, or else the default one, for Enter.
  HWND EnterButton() const;

  Win32Toolkit& toolkit_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  int fontHeight_;
  int border_;
  bool autoSize_;
  bool isMain_;
  DWORD style_ = 0;
  DWORD exStyle_ = 0;
  std::vector<std::unique_ptr<ui::Control>> controls_;
  std::vector<std::unique_ptr<Win32Timer>> timers_;
  HWND defaultButton_ = nullptr;
  HWND lastFocus_ = nullptr;
  // The control that handed the focus on, and the one that holds it for it.
  HWND focusLender_ = nullptr;
  HWND focusHolder_ = nullptr;
  int nextControlId_ = 100;  // clear of IDOK and IDCANCEL, which the dialog keys send
  int quiet_ = 0;
  bool destroying_ = false;
  bool modal_ = false;
  bool modalDone_ = false;
};
