// Where the settings file can live on Windows, and its reading and writing with the wide Win32 file API.
#pragma once

#include <string>

#include "platform/SettingsStorage.h"

class Win32SettingsStorage final : public SettingsStorage {
 public:
  std::string WindowsDirectory() override;
  std::string LocalAppDataDirectory() override;
  bool FileExists(const std::string& path) override;
  Outcome ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override;
  Outcome CreateFile(const std::string& path, const std::string& bytes, size_t& written) override;
  Outcome CreateFolder(const std::string& path) override;
};
