// The Win32 toolkit: the forms' window class, the message loops, fonts and the standard message boxes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/Toolkit.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"

class Win32Form;

class Win32Toolkit final : public ui::Toolkit {
 public:
  Win32Toolkit();
  ~Win32Toolkit() override;
  Win32Toolkit(const Win32Toolkit&) = delete;
  Win32Toolkit& operator=(const Win32Toolkit&) = delete;

  void SetTitle(const std::string& title) override;
  std::string Title() const override;
  std::unique_ptr<ui::Form> CreateForm(const ui::FormStyle& style, ui::Form* owner) override;
  void Run(ui::Form& mainForm) override;
  void ShowErrorBox(const std::string& text, ui::Form* owner) override;
  void ShowApplicationError(const std::string& text) override;
  void Beep(uint32_t type) override;

  // What forms and controls share.
  HINSTANCE Instance() const { return instance_; }
  static const wchar_t* FormClassName();
  // One font object per name and height, alive as long as the toolkit.
  HFONT Font(const std::string& name, int height);

  // Runs an event handler as the message loop does: a ui::Error that leaves it
  // is shown in the application's error box, anything else in an empty one,
  // and the program goes on. Nothing may unwind through a window procedure.
  template <typename Handler>
  void Guarded(Handler&& handler) noexcept {
    try {
      handler();
    } catch (const ui::Error& e) {
      ReportError(e.what());
    } catch (...) {
      ReportError(nullptr);
    }
  }

  // The program as a whole to and from its taskbar entry: every shown form is
  // hidden with it and comes back with it.
  void Minimize();
  // Forms tell which of them the user last worked in, so that activating the
  // taskbar entry (click, Alt+Tab) brings that one to the front.
  void FormActivated(Win32Form* form) { active_ = form; }

  // Dispatches messages until done becomes true or the application quits.
  void PumpUntil(const bool& done);
  void Quit();
  bool Quitting() const { return quitting_; }

  void Register(Win32Form* form);
  void Unregister(Win32Form* form);
  // While a modal form or box is up the other forms take no input: disables
  // every enabled form but except, and gives back those it disabled, which
  // EnableAgain enables again (those destroyed meanwhile are skipped).
  std::vector<HWND> DisableForms(const Win32Form* except);
  static void EnableAgain(const std::vector<HWND>& windows);
  Win32Form* MainForm() const { return main_; }

 private:
  void ReportError(const char* message) noexcept;
  void ShowBox(const widetext::Utf16& text, const std::string& caption, Win32Form* raisedBy);
  bool TranslateDialogMessage(MSG& msg);
  static LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleApplicationMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void HideForms();
  void ShowForms();
  Win32Form* FormToActivate() const;

  HINSTANCE instance_;
  HWND appWindow_ = nullptr;
  Win32Form* active_ = nullptr;
  // Forms hidden while the program is minimised, to be shown again on restore.
  std::vector<Win32Form*> hiddenForms_;
  bool minimized_ = false;
  std::string title_;
  std::map<std::pair<std::string, int>, HFONT> fonts_;
  std::vector<Win32Form*> forms_;
  Win32Form* main_ = nullptr;
  bool mainCreated_ = false;
  bool quitting_ = false;
};
