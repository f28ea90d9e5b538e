// The settings file's failures in the toolkit's texts.
#include "forms/SettingsErrorText.h"

#include "text/Utf8.h"
#include "ui/Toolkit.h"

std::string SettingsErrorText(const SettingsError& error) {
  const bool open = error.Failed == SettingsError::Failure::Open;
  std::string message = Utf8FromCp1252(open ? ui::kOpenFileError : ui::kCreateFileError);
  const size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, error.Path);
  return message;
}
