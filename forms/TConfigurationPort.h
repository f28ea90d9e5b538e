// TConfPort: finds the serial ports, picks one by itself, and lets the user choose another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/PortRegistry.h"
#include "ui/Toolkit.h"

class TConfPort {
 public:
  TConfPort(ui::Toolkit& toolkit, ui::Form* owner, PortRegistry& registry, const TextLocale& locale);
  ~TConfPort();
  TConfPort(const TConfPort&) = delete;
  TConfPort& operator=(const TConfPort&) = delete;

  bool ScanPorts();
  int32_t ParsePortNumber(const std::string& text) const;
  int32_t PortNumber();
  bool PortChanged();
  bool IsPreferredPort();
  bool HasPort() const;
  void SetLanguage(uint32_t index);
  void RefreshCaptions();

  // Shows the dialog modally; returns when it has closed.
  void ShowModal();
  ui::Form& Form();

  // Event handlers.
  void FormShow();
  void ValidationClick();
  void FormDestroy();

  // Read-only views of the dialog's state.
  uint32_t Language() const { return FLanguage; }
  // Empty once FormDestroy has run.
  const std::vector<std::string>& PortList() const;
  int32_t SelectedIndex() const { return FSelectedIndex; }

  // The controls; they belong to the form.
  ui::Button* Validation = nullptr;
  ui::RadioGroup* RadioGroupPortSerie = nullptr;
  ui::Button* ButtonRecherchePort = nullptr;

 private:
  ui::Toolkit& toolkit_;
  PortRegistry& registry_;
  const TextLocale& locale_;
  std::unique_ptr<ui::Form> form_;

  uint32_t FLanguage = 0;
  std::unique_ptr<std::vector<std::string>> FPortList;
  int32_t FSelectedIndex = -1;
  int32_t FPortNumber = 0;
};
