// The one fake settings storage: an in-memory disk with the failures a real one has.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "platform/SettingsStorage.h"

namespace fake {

class FakeSettingsStorage : public SettingsStorage {
 public:
  std::string Directory = "C:\\windows";
  std::map<std::string, std::string> Files;

  // Injected failures: a file that cannot be read or created, a write the
  // system reports shorter than asked for by ShortBy bytes.
  bool ReadFails = false;
  bool CreateFails = false;
  size_t ShortBy = 0;

  // What was done.
  int Reads = 0;
  int Creates = 0;

  std::string WindowsDirectory() override { return Directory; }
  bool FileExists(const std::string& path) override { return Files.count(path) != 0; }
  bool ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override {
    ++Reads;
    auto it = Files.find(path);
    if (ReadFails || it == Files.end()) return false;
    bytes = it->second.substr(0, maxBytes);
    return true;
  }
  bool CreateFile(const std::string& path, const std::string& bytes, size_t& written) override {
    ++Creates;
    if (CreateFails) return false;
    written = bytes.size() > ShortBy ? bytes.size() - ShortBy : 0;
    Files[path] = bytes.substr(0, written);
    return true;
  }
};

}  // namespace fake
