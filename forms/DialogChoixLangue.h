// TDialogChoixLangue: the dialog in which the user picks French or English.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/Toolkit.h"

class TDialogChoixLangue {
 public:
  explicit TDialogChoixLangue(ui::Toolkit& toolkit);
  ~TDialogChoixLangue();

  void SetLanguage(int32_t index);
  int32_t ChosenLanguage() const;
  void RefreshCaptions();
  void ShowModal();
  ui::Form& Form();

  void RadioGroupSelectLangueClick();
};
