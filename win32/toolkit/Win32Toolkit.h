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
#include "win32/toolkit/Win32Form.h"

class Win32Toolkit final : public ui::Toolkit, private FormHost {
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
  void LetSentMessagesIn() override;
  bool OpenFolder(const std::string& path) override;

 private:
  HINSTANCE Instance() const override { return instance_; }
  HFONT Font(const std::string& name, int height) override;
  void Register(Win32Form* form) override;
  void Unregister(Win32Form* form) override;
  void Guarded(const ui::Handler& handler) noexcept override;
  void PumpUntil(const bool& done) override;
  void Quit() override;
  std::vector<HWND> DisableForms(const Win32Form* except) override;
  void EnableAgain(const std::vector<HWND>& windows) override;
  void Minimize() override;
  void FormActivated(Win32Form* form) override { active_ = form; }

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
