// The Win32 toolkit: window class registration, forms, message loops and message boxes.
#include "win32/toolkit/Win32Toolkit.h"

#include <algorithm>

// The shell's header comes after the macros WindowsApi.h sets for <windows.h>.
#include <shellapi.h>

namespace {

constexpr wchar_t kApplicationClass[] = L"BravelleApplication";
// Posted to the application window when it is activated: the form the user
// worked in takes the activation over once the system has finished with it.
constexpr UINT kActivateForm = WM_APP + 1;
// A caption and a system menu with Minimise give the taskbar entry its menu;
// no size, so that nothing of the window itself is ever seen.
constexpr DWORD kApplicationStyle = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr char kDefaultFontName[] = "MS Sans Serif";
constexpr int kDefaultFontHeight = -11;

constexpr WORD kIconResource = 1;

constexpr UINT kErrorBoxFlags = MB_OK | MB_ICONERROR | MB_TASKMODAL;

}  // namespace

// Wide windows throughout: the system then keeps every text in UTF-16 and no
// conversion through the ANSI code page, whatever it is, touches the
// catalogue's letters.
Win32Toolkit::Win32Toolkit() : instance_(GetModuleHandleW(nullptr)) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.hInstance = instance_;
  // The program's own icon (resource 1) for every window and the taskbar entry,
  // in the sizes the system asks for; the stock one for a program without it.
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
  wc.hIconSm =
      static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = Win32Form::ClassName();
  wc.lpfnWndProc = Win32Form::ClassWindowProc();
  RegisterClassExW(&wc);

  wc.hbrBackground = nullptr;
  wc.lpszClassName = kApplicationClass;
  wc.lpfnWndProc = &ApplicationWindowProc;
  RegisterClassExW(&wc);
  // Hidden until Run shows the main form; centred, as a restore animates from it.
  appWindow_ =
      CreateWindowExW(0, kApplicationClass, L"", kApplicationStyle, GetSystemMetrics(SM_CXSCREEN) / 2,
                      GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, instance_, this);
}

Win32Toolkit::~Win32Toolkit() {
  if (appWindow_) DestroyWindow(appWindow_);
  UnregisterClassW(kApplicationClass, instance_);
  UnregisterClassW(Win32Form::ClassName(), instance_);
  for (auto& entry : fonts_) DeleteObject(entry.second);
}

void Win32Toolkit::SetTitle(const std::string& title) {
  title_ = title;
  if (appWindow_) SetWindowTextW(appWindow_, widetext::FromCp1252(title_).c_str());
}

std::string Win32Toolkit::Title() const { return title_; }

std::unique_ptr<ui::Form> Win32Toolkit::CreateForm(const ui::FormStyle& style, ui::Form* owner) {
  HWND ownerWindow = nullptr;
  if (auto* ownerForm = dynamic_cast<Win32Form*>(owner)) ownerWindow = ownerForm->Handle();
  // Forms without an owner of their own belong to the main form, and the main
  // form to the application window: they stay above their owner and get no
  // taskbar entry of their own.
  if (!ownerWindow && main_) ownerWindow = main_->Handle();
  const bool isMain = !mainCreated_;
  if (isMain && !ownerWindow) ownerWindow = appWindow_;
  auto form = std::make_unique<Win32Form>(static_cast<FormHost&>(*this), style, ownerWindow, isMain);
  if (isMain) {
    main_ = form.get();
    mainCreated_ = true;
  }
  return form;
}

void Win32Toolkit::Run(ui::Form& mainForm) {
  if (appWindow_) ShowWindow(appWindow_, SW_SHOWNA);
  mainForm.SetVisible(true);
  const bool never = false;
  PumpUntil(never);
  // The taskbar entry goes with the main window, not after the clean-up.
  if (appWindow_) ShowWindow(appWindow_, SW_HIDE);
}

void Win32Toolkit::Minimize() {
  if (!appWindow_ || minimized_) return;
  HideForms();
  ShowWindow(appWindow_, SW_MINIMIZE);
}

void Win32Toolkit::HideForms() {
  minimized_ = true;
  for (Win32Form* form : forms_) {
    if (form->Handle() && IsWindowVisible(form->Handle())) {
      hiddenForms_.push_back(form);
      ShowWindow(form->Handle(), SW_HIDE);
    }
  }
}

void Win32Toolkit::ShowForms() {
  minimized_ = false;
  std::vector<Win32Form*> forms;
  forms.swap(hiddenForms_);
  // Owners first, as they were created, so that each form comes back above its owner.
  for (Win32Form* form : forms_)
    if (std::find(forms.begin(), forms.end(), form) != forms.end() && form->Handle())
      ShowWindow(form->Handle(), SW_SHOWNA);
  if (Win32Form* form = FormToActivate()) SetForegroundWindow(form->Handle());
}

Win32Form* Win32Toolkit::FormToActivate() const {
  auto usable = [](const Win32Form* f) {
    return f && f->Handle() && IsWindowVisible(f->Handle()) && IsWindowEnabled(f->Handle());
  };
  if (usable(active_)) return active_;
  // A modal form is the one enabled among the visible ones.
  for (Win32Form* form : forms_)
    if (usable(form)) return form;
  return nullptr;
}

LRESULT CALLBACK Win32Toolkit::ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    // Known from here on: the creation's own messages are handled already.
    static_cast<Win32Toolkit*>(create->lpCreateParams)->appWindow_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* toolkit = reinterpret_cast<Win32Toolkit*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!toolkit || msg == WM_NCDESTROY) return DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    return toolkit->HandleApplicationMessage(msg, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT Win32Toolkit::HandleApplicationMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SYSCOMMAND:
      // The taskbar entry's click and menu: minimise hides the forms first,
      // so that they come back exactly as they were.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        Minimize();
        return 0;
      }
      break;
    case WM_SIZE:
      // Also reached when someone minimises the window directly (Win+M):
      // forms the system did not hide with their owner are hidden here.
      if (wParam == SIZE_MINIMIZED && !minimized_) HideForms();
      if (wParam == SIZE_RESTORED && minimized_) ShowForms();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(appWindow_))
        PostMessageW(appWindow_, kActivateForm, 0, 0);
      return 0;
    case kActivateForm:
      if (!IsIconic(appWindow_) && GetActiveWindow() == appWindow_)
        if (Win32Form* form = FormToActivate()) SetForegroundWindow(form->Handle());
      return 0;
    case WM_CLOSE:
      // "Close window" on the taskbar entry closes the main form, unless a
      // modal form is up: that one is brought forward instead.
      if (main_ && main_->Handle() && IsWindowEnabled(main_->Handle())) {
        PostMessageW(main_->Handle(), WM_CLOSE, 0, 0);
      } else if (Win32Form* form = FormToActivate()) {
        SetForegroundWindow(form->Handle());
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(appWindow_, msg, wParam, lParam);
}

void Win32Toolkit::ShowErrorBox(const std::string& text, ui::Form* owner) {
  ShowBox(widetext::FromCp1252(text), ui::kErrorCaption, dynamic_cast<Win32Form*>(owner));
}

void Win32Toolkit::ShowApplicationError(const std::string& text) {
  ShowBox(widetext::FromUtf8(text), title_, nullptr);
}

void Win32Toolkit::ShowBox(const widetext::Utf16& text, const std::string& caption, Win32Form* raisedBy) {
  // An owned window always stands in front of its owner, a form that stays on
  // top included, and has no taskbar entry of its own: the box belongs to the
  // form that raised it, else to the form the user works in. A form raising a
  // box before it shows (or none at all) leaves it to the application window
  // while the taskbar entry shows; before Run and after it, the box stands
  // alone and is the program's entry.
  Win32Form* owner =
      raisedBy && raisedBy->Handle() && IsWindowVisible(raisedBy->Handle()) ? raisedBy : FormToActivate();
  HWND ownerWindow = owner ? owner->Handle() : nullptr;
  if (!ownerWindow && appWindow_ && IsWindowVisible(appWindow_)) ownerWindow = appWindow_;
  // MB_TASKMODAL disables the thread's windows only for a box without owner.
  // The box disables its owner form itself and enables it again before it
  // goes, so that the activation returns there; the other forms are ours.
  const std::vector<HWND> disabled = ownerWindow ? DisableForms(owner) : std::vector<HWND>();
  MessageBoxW(ownerWindow, text.c_str(), widetext::FromCp1252(caption).c_str(), kErrorBoxFlags);
  EnableAgain(disabled);
}

std::vector<HWND> Win32Toolkit::DisableForms(const Win32Form* except) {
  std::vector<HWND> disabled;
  for (Win32Form* form : forms_) {
    if (form != except && form->Handle() && IsWindowEnabled(form->Handle())) {
      EnableWindow(form->Handle(), FALSE);
      disabled.push_back(form->Handle());
    }
  }
  return disabled;
}

void Win32Toolkit::EnableAgain(const std::vector<HWND>& windows) {
  for (HWND window : windows)
    if (IsWindow(window)) EnableWindow(window, TRUE);
}

void Win32Toolkit::Beep(uint32_t type) { MessageBeep(type); }

void Win32Toolkit::LetSentMessagesIn() {
  // A peek runs the handlers of the messages sent to the thread before it looks at the queue; asked for
  // sent messages only and removing nothing, it leaves the posted ones and the input where they are.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool Win32Toolkit::OpenFolder(const std::string& path) {
  // The shell's own verb for a folder: Explorer, or whichever file browser the user made the default.
  const HINSTANCE done =
      ShellExecuteW(nullptr, L"open", widetext::FromUtf8(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(done) > 32;
}

HFONT Win32Toolkit::Font(const std::string& name, int height) {
  const auto key = std::make_pair(name, height);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  HFONT font = nullptr;
  // The texts are code page 1252: the font is asked for in that character set,
  // as a 1252 PC's DEFAULT_CHARSET resolves. Elsewhere DEFAULT_CHARSET would
  // pick the local variant of a bitmap font (Cyrillic MS Sans Serif), which
  // has no "é" to draw.
  if (!name.empty())
    font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       widetext::FromCp1252(name).c_str());
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
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // Someone posted WM_QUIT: every loop must end, the outer ones too.
      quitting_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!TranslateDialogMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void Win32Toolkit::Quit() {
  quitting_ = true;
  // Wakes a loop that is waiting, in case the quit did not come from a message.
  PostMessageW(nullptr, WM_NULL, 0, 0);
}

void Win32Toolkit::Register(Win32Form* form) { forms_.push_back(form); }

void Win32Toolkit::Unregister(Win32Form* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  if (main_ == form) main_ = nullptr;
  if (active_ == form) active_ = nullptr;
  hiddenForms_.erase(std::remove(hiddenForms_.begin(), hiddenForms_.end(), form), hiddenForms_.end());
}

void Win32Toolkit::Guarded(const ui::Handler& handler) noexcept {
  try {
    handler();
  } catch (const ui::Error& e) {
    ReportError(e.what());
  } catch (...) {
    ReportError(nullptr);
  }
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
    if (form->Handle() == root) return IsDialogMessageW(root, &msg) != FALSE;
  return false;
}
