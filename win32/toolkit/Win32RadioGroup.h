// A radio group: a group box with one automatic radio button per item, laid out in columns.
#pragma once

#include <vector>

#include "win32/toolkit/ChildControl.h"

class Win32RadioGroup final : public ChildControl<ui::RadioGroup>, private CommandTarget {
 public:
  Win32RadioGroup(ControlHost& form, const ui::Bounds& b, const std::string& caption);
  ~Win32RadioGroup() override;

  void SetBounds(const ui::Bounds& b) override;
  void SetEnabled(bool enabled) override;
  void SetVisible(bool visible) override;

  void SetItems(const std::vector<std::string>& items) override;
  std::vector<std::string> Items() const override { return items_; }
  void SetItemIndex(int index) override;
  int ItemIndex() const override { return index_; }
  void SetColumns(int columns) override;
  int Columns() const override { return columns_; }
  int FontHeight() const override { return form_.FontHeight(); }

 private:
  void Command(HWND sender, unsigned code) override;
  void DestroyButtons();
  void Arrange();
  void ShowIndex();

  std::vector<std::string> items_;
  std::vector<HWND> buttons_;
  int index_ = -1;
  int columns_ = 1;
};
