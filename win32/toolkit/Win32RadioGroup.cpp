// A radio group: its buttons are siblings of the group box, so their clicks reach the form.
#include "win32/toolkit/Win32RadioGroup.h"

#include <algorithm>

#include "win32/toolkit/RadioLayout.h"

namespace {

constexpr int kMaxColumns = 16;

}  // namespace

Win32RadioGroup::Win32RadioGroup(ControlHost& form, const ui::Bounds& b, const std::string& caption)
    : ChildControl(form, childwindow::Create(form, L"Button", caption, BS_GROUPBOX, 0, b)) {}

Win32RadioGroup::~Win32RadioGroup() { DestroyButtons(); }

void Win32RadioGroup::SetBounds(const ui::Bounds& b) {
  ChildControl::SetBounds(b);
  Arrange();
}

void Win32RadioGroup::SetEnabled(bool enabled) {
  ChildControl::SetEnabled(enabled);
  for (HWND button : buttons_) EnableWindow(button, enabled ? TRUE : FALSE);
}

void Win32RadioGroup::SetVisible(bool visible) {
  ChildControl::SetVisible(visible);
  for (HWND button : buttons_) ShowWindow(button, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32RadioGroup::SetItems(const std::vector<std::string>& items) {
  DestroyButtons();
  items_ = items;
  index_ = std::min(index_, static_cast<int>(items_.size()) - 1);
  const ui::Bounds group = GetBounds();
  HWND previous = hwnd_;
  for (size_t i = 0; i < items_.size(); ++i) {
    // The first button opens the group for the arrow keys; the control
    // created after the group box carries WS_GROUP and closes it.
    const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0);
    HWND button = childwindow::Create(form_, L"Button", items_[i], style, 0, {group.Left, group.Top, 0, 0});
    childwindow::Attach(button, this);
    if (!IsEnabled()) EnableWindow(button, FALSE);
    if (!IsVisible()) ShowWindow(button, SW_HIDE);
    // Right behind the group box and its earlier buttons, for the tab order
    // and so that the box is painted beneath its buttons.
    SetWindowPos(button, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = button;
    buttons_.push_back(button);
  }
  Arrange();
  ShowIndex();
}

void Win32RadioGroup::SetItemIndex(int index) {
  index_ = std::max(-1, std::min(index, static_cast<int>(items_.size()) - 1));
  ShowIndex();
}

void Win32RadioGroup::SetColumns(int columns) {
  columns_ = std::max(1, std::min(columns, kMaxColumns));
  Arrange();
}

void Win32RadioGroup::Command(HWND sender, unsigned code) {
  if (code != BN_CLICKED) return;
  const auto found = std::find(buttons_.begin(), buttons_.end(), sender);
  if (found == buttons_.end()) return;
  const int clicked = static_cast<int>(found - buttons_.begin());
  const bool changed = clicked != index_;
  index_ = clicked;
  ShowIndex();
  // A click on the item already highlighted highlights nothing new.
  if (changed) form_.Fire(OnClick);
}

void Win32RadioGroup::DestroyButtons() {
  for (HWND button : buttons_) childwindow::Destroy(form_, button);
  buttons_.clear();
}

void Win32RadioGroup::Arrange() {
  if (buttons_.empty()) return;
  const ui::Bounds group = GetBounds();
  const auto cells = radiolayout::ItemBounds(static_cast<int>(buttons_.size()), columns_, group.Width,
                                             group.Height, form_.FontHeight());
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const ui::Bounds& c = cells[i];
    childwindow::Place(form_, buttons_[i], {group.Left + c.Left, group.Top + c.Top, c.Width, c.Height});
  }
}

void Win32RadioGroup::ShowIndex() {
  ControlHost::Quiet quiet(form_);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const bool checked = static_cast<int>(i) == index_;
    SendMessageW(buttons_[i], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // Tab lands on the highlighted item, or on the first while none is.
    const bool stop = checked || (index_ < 0 && i == 0);
    const LONG_PTR style = GetWindowLongPtrW(buttons_[i], GWL_STYLE);
    SetWindowLongPtrW(buttons_[i], GWL_STYLE, stop ? (style | WS_TABSTOP) : (style & ~LONG_PTR{WS_TABSTOP}));
  }
}
