// Fuzz target: the settings reader on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/text/SettingsFile.h"

namespace {

class OneFile : public SettingsStorage {
 public:
  explicit OneFile(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string WindowsDirectory() override { return "C:\\windows"; }
  bool FileExists(const std::string&) override { return true; }
  bool ReadFile(const std::string&, size_t maxBytes, std::string& bytes) override {
    bytes = bytes_.substr(0, maxBytes);
    return true;
  }
  bool CreateFile(const std::string&, const std::string&, size_t&) override { std::abort(); }

 private:
  std::string bytes_;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int32_t parsed = ParseSettingsLanguage(text);
  // A language comes only from a value that a ";" ends (after "=", or from
  // the start when there is no "=").
  if (parsed != 0) Require(text.find(';') != std::string::npos);

  // The file is read through its 200-byte window and ends at its first NUL.
  OneFile file(text);
  std::string window = text.substr(0, kSettingsReadWindow);
  window = window.substr(0, window.find('\0'));
  Require(LoadOrCreateSettings(file, "C:\\windows\\CalvineV1.CFG") == ParseSettingsLanguage(window));

  // The line the program writes is read back as written, whatever stood before it on its own line.
  for (uint32_t language : {0u, 1u}) {
    Require(ParseSettingsLanguage(FormatSettingsLine(language)) == static_cast<int32_t>(language));
  }
  return 0;
}
