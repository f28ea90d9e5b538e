// TDialogChoixLangue: the dialog in which the user picks French or English.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/Toolkit.h"

class TDialogChoixLangue {
 public:
  explicit TDialogChoixLangue(ui::Toolkit& toolkit);
  ~TDialogChoixLangue();
  TDialogChoixLangue(const TDialogChoixLangue&) = delete;
  TDialogChoixLangue& operator=(const TDialogChoixLangue&) = delete;

  void SetLanguage(int32_t index);
  int32_t ChosenLanguage() const;
  void RefreshCaptions();
  void ShowModal();
  ui::Form& Form();

  void RadioGroupSelectLangueClick();

  // The controls; they belong to the form.
  ui::Button* OKBtn = nullptr;
  ui::RadioGroup* RadioGroupSelectLangue = nullptr;

 private:
  std::unique_ptr<ui::Form> form_;
};
