// The form's window: creation, the window procedure, showing (modal or not), closing and sizing.
#include "win32/toolkit/Win32Form.h"

#include <algorithm>

#include "win32/WideText.h"
#include "win32/toolkit/Win32Button.h"
#include "win32/toolkit/Win32Memo.h"
#include "win32/toolkit/Win32RadioGroup.h"

namespace {

constexpr wchar_t kClassName[] = L"BravelleForm";

// WS_CLIPCHILDREN is left out on purpose: a group box does not paint its
// inside, so the form must erase it.
DWORD FrameStyle(const ui::FormStyle& style) {
  return WS_POPUP | WS_CAPTION | (style.CloseBox ? WS_SYSMENU : 0);
}

// No form has a taskbar entry: the application window holds the program's one.
DWORD FrameExStyle(const ui::FormStyle& style) {
  return WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | (style.StayOnTop ? WS_EX_TOPMOST : 0);
}

}  // namespace

Win32Form::Win32Form(FormHost& toolkit, const ui::FormStyle& style, HWND owner, bool isMain)
    : toolkit_(toolkit),
      fontHeight_(style.FontHeight),
      border_(std::max(0, style.BorderWidth)),
      autoSize_(style.AutoSize),
      isMain_(isMain),
      style_(FrameStyle(style)),
      exStyle_(FrameExStyle(style)) {
  font_ = toolkit_.Font(style.FontName, style.FontHeight);
  Quiet quiet(*this);
  // Created hidden at the origin; Show centres it.
  hwnd_ = CreateWindowExW(exStyle_, kClassName, L"", style_, 0, 0, 0, 0, owner, nullptr, toolkit_.Instance(),
                          this);
  if (!hwnd_) throw ui::Error("CreateWindowEx");
  SetClientSize(style.ClientWidth + 2 * border_, style.ClientHeight + 2 * border_);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  toolkit_.Register(this);
}

const wchar_t* Win32Form::ClassName() { return kClassName; }

Win32Form::~Win32Form() {
  // OnDestroy runs while the controls still exist, then nothing else fires.
  if (OnDestroy) toolkit_.Guarded(OnDestroy);
  destroying_ = true;
  toolkit_.Unregister(this);
  timers_.clear();
  controls_.clear();
  if (hwnd_) DestroyWindow(hwnd_);
}

void Win32Form::SetCaption(const std::string& text) { childwindow::SetText(hwnd_, text); }

std::string Win32Form::Caption() const { return childwindow::Text(hwnd_); }

void Win32Form::SetBounds(const ui::Bounds& b) {
  SetWindowPos(hwnd_, nullptr, b.Left, b.Top, std::max(0, b.Width), std::max(0, b.Height),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

ui::Bounds Win32Form::GetBounds() const {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Win32Form::SetEnabled(bool enabled) { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }

bool Win32Form::IsEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }

void Win32Form::SetVisible(bool visible) {
  if (visible == IsVisible()) return;
  if (visible) {
    Show();
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

bool Win32Form::IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }

ui::Button& Win32Form::CreateButton(const ui::Bounds& b, const std::string& caption) {
  controls_.push_back(std::make_unique<Win32Button>(static_cast<ControlHost&>(*this), b, caption));
  return static_cast<ui::Button&>(*controls_.back());
}

ui::Memo& Win32Form::CreateMemo(const ui::Bounds& b) {
  controls_.push_back(std::make_unique<Win32Memo>(static_cast<ControlHost&>(*this), b));
  return static_cast<ui::Memo&>(*controls_.back());
}

ui::RadioGroup& Win32Form::CreateRadioGroup(const ui::Bounds& b, const std::string& caption) {
  controls_.push_back(std::make_unique<Win32RadioGroup>(static_cast<ControlHost&>(*this), b, caption));
  return static_cast<ui::RadioGroup&>(*controls_.back());
}

ui::Timer& Win32Form::CreateTimer() {
  timers_.push_back(std::make_unique<Win32Timer>(static_cast<TimerHost&>(*this), timers_.size() + 1));
  return *timers_.back();
}

int Win32Form::TextWidth(const std::string& text) const {
  HDC dc = GetDC(hwnd_);
  if (!dc) return 0;
  HGDIOBJ previous = SelectObject(dc, font_);
  // Measured as drawn: the same UTF-16 text the caption shows.
  const widetext::Utf16 wide = widetext::FromCp1252(text);
  SIZE size{};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc, previous);
  ReleaseDC(hwnd_, dc);
  return size.cx;
}

void Win32Form::ShowModal() {
  if (modal_ || !hwnd_) return;
  // The other forms take no input while this one is up, but their timers
  // and posted messages keep arriving through the modal loop below.
  const std::vector<HWND> disabled = toolkit_.DisableForms(this);
  modal_ = true;
  modalDone_ = false;
  Show();
  toolkit_.PumpUntil(modalDone_);
  // Enabled again before hiding, so that activation goes back to the owner
  // rather than to another application.
  toolkit_.EnableAgain(disabled);
  modal_ = false;
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Win32Form::Close() {
  if (modal_) {
    modalDone_ = true;
    return;
  }
  if (isMain_) toolkit_.Quit();
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void Win32Form::PostMessage(const ui::Message& m) {
  PostMessageW(hwnd_, m.Msg, static_cast<WPARAM>(m.WParam), static_cast<LPARAM>(m.LParam));
}

void Win32Form::SizeToControls() {
  int right = 0;
  int bottom = 0;
  for (const auto& control : controls_) {
    const ui::Bounds b = control->GetBounds();
    right = std::max(right, b.Left + b.Width);
    bottom = std::max(bottom, b.Top + b.Height);
  }
  SetClientSize(right + 2 * border_, bottom + 2 * border_);
}

void Win32Form::SetDefaultButton(HWND button) {
  // Our push buttons carry no style bits in the low word but their type, so
  // BM_SETSTYLE loses nothing whichever way the system reads it.
  if (defaultButton_ && defaultButton_ != button)
    SendMessageW(defaultButton_, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  defaultButton_ = button;
  if (button) SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void Win32Form::SetSessionEndReason(const std::string& text) {
  if (!hwnd_) return;
  if (text.empty()) {
    ShutdownBlockReasonDestroy(hwnd_);
  } else {
    ShutdownBlockReasonCreate(hwnd_, widetext::FromCp1252(text).c_str());
  }
}

HWND Win32Form::FormFocus() const { return GetActiveWindow() == hwnd_ ? GetFocus() : lastFocus_; }

void Win32Form::MoveFocus(HWND to) {
  // SetFocus would activate an inactive form (one under a modal dialog or a
  // message box): there the activation hands the focus over later instead.
  if (GetActiveWindow() == hwnd_) {
    SetFocus(to);
  } else {
    lastFocus_ = to;
  }
}

// A control disabled with the focus leaves it on no window at all: keys then
// reach nothing, and the dialog keys, Tab included, stop working.
void Win32Form::HandFocusOn(HWND control) {
  if (!hwnd_ || !control) return;
  HWND focus = FormFocus();
  if (!focus || (focus != control && !IsChild(control, focus))) return;
  HWND next = GetNextDlgTabItem(hwnd_, control, FALSE);
  if (!next || next == control || IsChild(control, next)) next = hwnd_;
  focusLender_ = control;
  focusHolder_ = next;
  MoveFocus(next);
}

void Win32Form::TakeFocusBack(HWND control) {
  if (!hwnd_ || control != focusLender_) return;
  focusLender_ = nullptr;
  HWND holder = focusHolder_;
  focusHolder_ = nullptr;
  HWND focus = FormFocus();
  if (focus && focus != holder) return;
  // Its own flags: a form hidden with the program minimised still gets its focus back.
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
  if ((style & WS_VISIBLE) && !(style & WS_DISABLED)) MoveFocus(control);
}

HWND Win32Form::EnterButton() const {
  // As in a dialog box, Enter presses the push button that holds the focus;
  // elsewhere it presses the default button.
  HWND focus = GetFocus();
  if (focus && GetParent(focus) == hwnd_ &&
      (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
    return focus;
  return defaultButton_;
}

void Win32Form::Fire(const ui::Handler& handler) {
  if (!handler || quiet_ > 0 || destroying_) return;
  toolkit_.Guarded(handler);
}

LRESULT CALLBACK Win32Form::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* form = static_cast<Win32Form*>(create->lpCreateParams);
    form->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    // From here on the form has no window: an owner's destruction can take
    // this one along while the object still lives.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    form->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  try {
    return form->HandleMessage(msg, wParam, lParam);
  } catch (...) {
    // Handlers are guarded on their own; this only keeps the toolkit's own
    // failures (out of memory) from unwinding through the system's frames.
    return 0;
  }
}

LRESULT Win32Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      CommandArrived(reinterpret_cast<HWND>(lParam), wParam);
      return 0;
    case WM_TIMER:
      if (TimerTicked(wParam)) return 0;
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SYSCOMMAND:
      if (Minimized(wParam)) return 0;
      break;
    case WM_ACTIVATE:
      Activated(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case DM_GETDEFID:
      // The dialog keys ask which button Enter presses.
      if (HWND button = EnterButton()) return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
      return 0;
    case WM_QUERYENDSESSION:
      // Never in the way of the session's end: its clean-up runs when it comes.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam && OnSessionEnd && !destroying_) toolkit_.Guarded(OnSessionEnd);
      return 0;
    case WM_NEXTDLGCTL:
      NextDialogControl(wParam, lParam);
      return 0;
    default:
      if (msg >= WM_USER && ProgramMessage(msg, wParam, lParam)) return 0;
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void Win32Form::CommandArrived(HWND sender, WPARAM wParam) {
  if (sender && GetParent(sender) == hwnd_) {
    if (CommandTarget* target = childwindow::TargetOf(sender)) target->Command(sender, HIWORD(wParam));
  } else if (!sender && LOWORD(wParam) == IDCANCEL && !isMain_ && (style_ & WS_SYSMENU)) {
    // Escape, from the dialog keys: a dialog closes as by its close box.
    // The main window stays, so that no key ends the program.
    Close();
  }
  // Enter without a button to press arrives as IDOK without a control: nothing to do.
}

bool Win32Form::Minimized(WPARAM command) {
  // Minimising any form minimises the program to its taskbar entry;
  // an owned window would otherwise shrink to a title bar on the desktop.
  if ((command & 0xFFF0) != SC_MINIMIZE) return false;
  toolkit_.Minimize();
  return true;
}

bool Win32Form::TimerTicked(WPARAM id) {
  for (const auto& timer : timers_) {
    if (timer->Id() == id) {
      timer->Tick();
      return true;
    }
  }
  return false;
}

void Win32Form::Activated(bool active) {
  if (active) {
    toolkit_.FormActivated(this);
    FocusOnActivation();
    return;
  }
  HWND focus = GetFocus();
  if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
}

void Win32Form::NextDialogControl(WPARAM wParam, LPARAM lParam) {
  // Sent by a multi-line edit for Tab and for Enter towards the default button.
  if (LOWORD(lParam)) {
    SetFocus(reinterpret_cast<HWND>(wParam));
  } else if (HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), wParam != 0)) {
    SetFocus(next);
  }
}

bool Win32Form::ProgramMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!OnMessage || destroying_) return false;
  bool handled = false;
  const ui::Message m{msg, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam)};
  toolkit_.Guarded([&] { handled = OnMessage(m); });
  return handled;
}

void Win32Form::Show() {
  if (OnShow && !destroying_) toolkit_.Guarded(OnShow);
  if (!hwnd_) return;
  if (autoSize_) SizeToControls();
  CentreOnScreen();
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  UpdateWindow(hwnd_);
}

void Win32Form::CentreOnScreen() {
  const ui::Bounds b = GetBounds();
  const int left = (GetSystemMetrics(SM_CXSCREEN) - b.Width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - b.Height) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::SetClientSize(int width, int height) {
  RECT r{0, 0, std::max(0, width), std::max(0, height)};
  AdjustWindowRectEx(&r, style_, FALSE, exStyle_);
  SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form::FocusOnActivation() {
  HWND target = lastFocus_;
  if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowEnabled(target) ||
      !IsWindowVisible(target))
    target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  // Keyboard input must land somewhere in the form even without a tab stop.
  SetFocus(target ? target : hwnd_);
}
