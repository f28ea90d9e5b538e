// The text pane: lines are appended at the end of the edit control's text, each on a line of its own closed
// by CR LF.
#include "win32/toolkit/Win32Memo.h"

#include "win32/WideText.h"
#include "win32/toolkit/MemoText.h"

namespace {

// No ES_AUTOHSCROLL and no horizontal bar: the edit control then wraps at
// word boundaries. ES_WANTRETURN lets the user type new lines, since the
// dialog keys would otherwise turn Enter into a press of the default button.
constexpr DWORD kStyle = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP | WS_GROUP;

}  // namespace

Win32Memo::Win32Memo(ControlHost& form, const ui::Bounds& b)
    : ChildControl(form, childwindow::Create(form, L"Edit", "", kStyle, WS_EX_CLIENTEDGE, b)) {
  // The default limit of 32767 characters would end the log of a long session.
  SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
}

void Win32Memo::Clear() { SetWindowTextW(hwnd_, L""); }

void Win32Memo::AppendLine(const std::string& line) {
  // The user may have typed letters that code page 1252 lacks: the control's
  // own text is left as it is and only measured, in the UTF-16 units its
  // selection counts.
  const widetext::Utf16 current = childwindow::WideText(hwnd_);
  const widetext::Utf16 text =
      widetext::FromCp1252(memotext::AppendedText(widetext::ToCp1252(current), line));
  const WPARAM end = static_cast<WPARAM>(current.size());
  SendMessageW(hwnd_, EM_SETSEL, end, static_cast<LPARAM>(end));
  SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<std::string> Win32Memo::Lines() const { return memotext::SplitLines(childwindow::Text(hwnd_)); }
