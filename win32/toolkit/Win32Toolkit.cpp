// The Win32 toolkit: window class registration, forms, message loops and message boxes.
#include "win32/toolkit/Win32Toolkit.h"

#include <algorithm>

#include "win32/toolkit/Win32Form.h"

namespace {

constexpr char kFormClass[] = "BravelleForm";
constexpr char kDefaultFontName[] = "MS Sans Serif";
constexpr int kDefaultFontHeight = -11;

// MB_TASKMODAL without an owner: every window of the thread is disabled while
// the box is up, and the box is centred on the screen rather than on a form.
constexpr UINT kErrorBoxFlags = MB_OK | MB_ICONERROR | MB_TASKMODAL;

}  // namespace

Win32Toolkit::Win32Toolkit() : instance_(GetModuleHandleA(nullptr)) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.hInstance = instance_;
  wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFormClass;
  wc.lpfnWndProc = Win32Form::ClassWindowProc();
  RegisterClassExA(&wc);
}

Win32Toolkit::~Win32Toolkit() {
  UnregisterClassA(kFormClass, instance_);
  for (auto& entry : fonts_) DeleteObject(entry.second);
}

const char* Win32Toolkit::FormClassName() { return kFormClass; }

void Win32Toolkit::SetTitle(const std::string& title) { title_ = title; }

std::string Win32Toolkit::Title() const { return title_; }

std::unique_ptr<ui::Form> Win32Toolkit::CreateForm(const ui::FormStyle& style, ui::Form* owner) {
  HWND ownerWindow = nullptr;
  if (auto* ownerForm = dynamic_cast<Win32Form*>(owner)) ownerWindow = ownerForm->Handle();
  // Forms without an owner of their own belong to the main form: they stay
  // above it and get no taskbar entry of their own.
  if (!ownerWindow && main_) ownerWindow = main_->Handle();
  const bool isMain = !mainCreated_;
  auto form = std::make_unique<Win32Form>(*this, style, ownerWindow, isMain);
  if (isMain) {
    main_ = form.get();
    mainCreated_ = true;
  }
  return form;
}

void Win32Toolkit::Run(ui::Form& mainForm) {
  mainForm.SetVisible(true);
  const bool never = false;
  PumpUntil(never);
}

void Win32Toolkit::ShowErrorBox(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), ui::kErrorCaption, kErrorBoxFlags);
}

void Win32Toolkit::ShowApplicationError(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), title_.c_str(), kErrorBoxFlags);
}

void Win32Toolkit::Beep(uint32_t type) { MessageBeep(type); }

HFONT Win32Toolkit::Font(const std::string& name, int height) {
  const auto key = std::make_pair(name, height);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  HFONT font = nullptr;
  if (!name.empty())
    font = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
  // A form that asks for a font the system cannot make gets the toolkit's own.
  if (!font && !(name == kDefaultFontName && height == kDefaultFontHeight))
    return Font(kDefaultFontName, kDefaultFontHeight);
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_.emplace(key, font);
  return font;
}

void Win32Toolkit::PumpUntil(const bool& done) {
  MSG msg;
  while (!done && !quitting_) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // Someone posted WM_QUIT: every loop must end, the outer ones too.
      quitting_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!TranslateDialogMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void Win32Toolkit::Quit() {
  quitting_ = true;
  // Wakes a loop that is waiting, in case the quit did not come from a message.
  PostMessageA(nullptr, WM_NULL, 0, 0);
}

void Win32Toolkit::Register(Win32Form* form) { forms_.push_back(form); }

void Win32Toolkit::Unregister(Win32Form* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (main_ == form) main_ = nullptr;
}

void Win32Toolkit::ReportError(const char* message) noexcept {
  try {
    ShowApplicationError(message ? ui::ErrorBoxText(message) : std::string());
  } catch (...) {
    // Not even the box could be shown; the program goes on all the same.
  }
}

bool Win32Toolkit::TranslateDialogMessage(MSG& msg) {
  // Tab, the arrow keys among radio buttons, Enter on the default button and
  // the mnemonics work in every form, as in a dialog box.
  if (!msg.hwnd) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  for (Win32Form* form : forms_)
    if (form->Handle() == root) return IsDialogMessageA(root, &msg) != FALSE;
  return false;
}
