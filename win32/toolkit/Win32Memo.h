// The text pane: a multi-line edit control with a vertical scroll bar and word wrap.
#pragma once

#include "win32/toolkit/ChildControl.h"

class Win32Memo final : public ChildControl<ui::Memo> {
 public:
  Win32Memo(ControlHost& form, const ui::Bounds& b);
  void Clear() override;
  void AppendLine(const std::string& line) override;
  // The window text split at each CR LF; see memotext::SplitLines.
  std::vector<std::string> Lines() const override;
};
