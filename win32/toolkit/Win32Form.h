// A form as a top-level window; its one window procedure hands each message to the form or a control.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Toolkit.h"
#include "win32/WindowsApi.h"
#include "win32/toolkit/ChildControl.h"
#include "win32/toolkit/Win32Timer.h"

class Win32Form;

// What a form needs of its toolkit: the fonts and the instance its window is
// made with, the list of forms, the message loop and the guard every handler
// runs in. The toolkit makes the forms and keeps them on its list.
class FormHost {
 public:
  virtual HINSTANCE Instance() const = 0;
  // One font object per name and height, alive as long as the toolkit.
  virtual HFONT Font(const std::string& name, int height) = 0;
  virtual void Register(Win32Form* form) = 0;
  virtual void Unregister(Win32Form* form) = 0;
  // Runs an event handler as the message loop does: a ui::Error that leaves it
  // is shown in the application's error box, anything else in an empty one,
  // and the program goes on. Nothing may unwind through a window procedure.
  virtual void Guarded(const ui::Handler& handler) noexcept = 0;
  // Dispatches messages until done becomes true or the application quits.
  virtual void PumpUntil(const bool& done) = 0;
  virtual void Quit() = 0;
  // While a modal form or box is up the other forms take no input: disables
  // every enabled form but except, and gives back those it disabled, which
  // EnableAgain enables again (those destroyed meanwhile are skipped).
  virtual std::vector<HWND> DisableForms(const Win32Form* except) = 0;
  virtual void EnableAgain(const std::vector<HWND>& windows) = 0;
  // The program as a whole to and from its taskbar entry: every shown form is
  // hidden with it and comes back with it.
  virtual void Minimize() = 0;
  // Forms tell which of them the user last worked in, so that activating the
  // taskbar entry (click, Alt+Tab) brings that one to the front.
  virtual void FormActivated(Win32Form* form) = 0;

 protected:
  ~FormHost() = default;
};

class Win32Form final : public ui::Form, private ControlHost, private TimerHost {
 public:
  Win32Form(FormHost& toolkit, const ui::FormStyle& style, HWND owner, bool isMain);
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

  // The window class every form is made in, and its one window procedure.
  static const wchar_t* ClassName();
  static WNDPROC ClassWindowProc() { return &WindowProc; }

  HWND Handle() const override { return hwnd_; }

 private:
  HFONT Font() const override { return font_; }
  int FontHeight() const override { return fontHeight_; }
  int Border() const override { return border_; }
  int NextControlId() override { return nextControlId_++; }
  void SetDefaultButton(HWND button) override;
  HWND DefaultButton() const override { return defaultButton_; }
  void Fire(const ui::Handler& handler) override;
  void HandFocusOn(HWND control) override;
  void TakeFocusBack(HWND control) override;
  void Hush(int change) override { quiet_ += change; }
  HWND TimerWindow() const override { return hwnd_; }
  void FireTick(const ui::Handler& handler) override { Fire(handler); }
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // The messages HandleMessage hands on: a control's notification or a dialog key, a system command
  // (false unless it minimised the program), a timer's tick (false when no timer of the form has the
  // id), the form activated or left, a multi-line edit's move of the focus, and the program's own
  // messages (false when not handled).
  void CommandArrived(HWND sender, WPARAM wParam);
  bool Minimized(WPARAM command);
  bool TimerTicked(WPARAM id);
  void Activated(bool active);
  void NextDialogControl(WPARAM wParam, LPARAM lParam);
  bool ProgramMessage(UINT msg, WPARAM wParam, LPARAM lParam);
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

  FormHost& toolkit_;
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
