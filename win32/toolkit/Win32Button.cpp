// A push button: BN_CLICKED runs OnClick; SetDefault switches the style and the form's default id.
#include "win32/toolkit/Win32Button.h"

namespace {

// WS_GROUP ends any radio group created before the button, so the automatic
// radio buttons never reach past their own group box.
constexpr DWORD kStyle = BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP;

}  // namespace

Win32Button::Win32Button(ControlHost& form, const ui::Bounds& b, const std::string& caption)
    : ChildControl(form, childwindow::Create(form, L"Button", caption, kStyle, 0, b)) {
  childwindow::Attach(hwnd_, this);
}

Win32Button::~Win32Button() {
  if (form_.DefaultButton() == hwnd_) form_.SetDefaultButton(nullptr);
}

void Win32Button::SetDefault(bool isDefault) {
  if (isDefault) {
    form_.SetDefaultButton(hwnd_);
  } else if (form_.DefaultButton() == hwnd_) {
    form_.SetDefaultButton(nullptr);
  }
}

void Win32Button::Command(HWND, unsigned code) {
  if (code == BN_CLICKED) form_.Fire(OnClick);
}
