// Where the settings file lives and how its bytes reach the disk.
#pragma once

#include <cstddef>
#include <string>

class SettingsStorage {
 public:
  virtual ~SettingsStorage() = default;
  // GetWindowsDirectoryA into a 200-byte buffer with a capacity of 198 characters.
  virtual std::string WindowsDirectory() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Reads at most maxBytes; false when the file cannot be opened.
  virtual bool ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) = 0;
  // Creates or truncates the file and writes the bytes; false when it cannot be created.
  // written receives the count of bytes the system reports written.
  virtual bool CreateFile(const std::string& path, const std::string& bytes, size_t& written) = 0;
};
