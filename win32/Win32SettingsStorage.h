// Where the settings file lives on Windows, and its reading and writing with the Win32 file API.
#pragma once

#include <string>

#include "platform/SettingsStorage.h"

class Win32SettingsStorage final : public SettingsStorage {
 public:
  std::string WindowsDirectory() override;
  bool FileExists(const std::string& path) override;
  bool ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override;
  bool CreateFile(const std::string& path, const std::string& bytes, size_t& written) override;
};
