// TDlgLectureInformation: the main window, its serial link and the reading sequence.
#pragma once

#include <cstdint>
#include <string>

#include "app/Platform.h"

class TDialogChoixLangue;

class TDlgLectureInformation {
 public:
  explicit TDlgLectureInformation(Platform& platform);
  ~TDlgLectureInformation();

  void SetLanguageDialog(TDialogChoixLangue* dialog);
  void SetSettingsPath(const std::string& path);
  void SetLanguage(uint32_t index);
  void RefreshTexts();
  ui::Form& Form();

  // Read by start-up and tests; changed only through the setters and handlers.
  uint32_t Language = 0;
  std::string SettingsPath;
  int32_t ReadStep = 0;
};
