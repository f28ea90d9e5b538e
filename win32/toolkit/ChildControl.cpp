// Child window helpers shared by the controls.
#include "win32/toolkit/ChildControl.h"

#include <algorithm>
#include <vector>

namespace childwindow {

HWND Create(ControlHost& form, const wchar_t* windowClass, const std::string& text, DWORD style,
            DWORD exStyle, const ui::Bounds& b) {
  ControlHost::Quiet quiet(form);
  const int id = form.NextControlId();
  HWND child =
      CreateWindowExW(exStyle, windowClass, widetext::FromCp1252(text).c_str(), WS_CHILD | WS_VISIBLE | style,
                      b.Left + form.Border(), b.Top + form.Border(), std::max(0, b.Width),
                      std::max(0, b.Height), form.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form.Handle(), GWLP_HINSTANCE)), nullptr);
  if (!child) throw ui::Error("CreateWindowEx " + widetext::ToUtf8(windowClass));
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(form.Font()), FALSE);
  return child;
}

void Destroy(ControlHost& form, HWND child) {
  // Once the form's window is gone (an owner's destruction takes its owned
  // forms along), its children are gone too and the handle may be reused.
  if (!child || !form.Handle()) return;
  ControlHost::Quiet quiet(form);
  DestroyWindow(child);
}

void Attach(HWND child, CommandTarget* target) {
  SetWindowLongPtrW(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(target));
}

CommandTarget* TargetOf(HWND child) {
  return reinterpret_cast<CommandTarget*>(GetWindowLongPtrW(child, GWLP_USERDATA));
}

widetext::Utf16 WideText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return widetext::Utf16();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  const int copied = GetWindowTextW(window, buffer.data(), length + 1);
  return widetext::Utf16(std::move(buffer), static_cast<size_t>(std::max(0, std::min(copied, length))));
}

std::string Text(HWND window) { return widetext::ToCp1252(WideText(window)); }

void SetText(HWND window, const std::string& text) {
  SetWindowTextW(window, widetext::FromCp1252(text).c_str());
}

void Place(const ControlHost& form, HWND child, const ui::Bounds& b) {
  SetWindowPos(child, nullptr, b.Left + form.Border(), b.Top + form.Border(), std::max(0, b.Width),
               std::max(0, b.Height), SWP_NOZORDER | SWP_NOACTIVATE);
}

ui::Bounds Where(const ControlHost& form, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
  return {r.left - form.Border(), r.top - form.Border(), r.right - r.left, r.bottom - r.top};
}

bool HasStyle(HWND window, DWORD style) {
  return (static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & style) != 0;
}

}  // namespace childwindow
