// Fuzz target: the settings reader on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/SettingsFile.h"
#include "tests/support/FakeSettingsStorage.h"

namespace {

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
  fake::FakeSettingsStorage storage;
  const std::string path = SettingsPathIn(storage.Directory);
  storage.Files[path] = text;
  std::string window = text.substr(0, kSettingsReadWindow);
  window = window.substr(0, window.find('\0'));
  const StoredSettings stored = LoadOrCreateSettings(storage);
  Require(stored.Path == path && stored.Language == ParseSettingsLanguage(window));
  // Reading never writes: the file keeps its bytes, whatever they were.
  Require(storage.Creates == 0 && storage.Files[path] == text);

  // The line the program writes is read back as written, whatever stood before it on its own line.
  for (uint32_t language : {0u, 1u}) {
    Require(ParseSettingsLanguage(FormatSettingsLine(language)) == static_cast<int32_t>(language));
  }
  return 0;
}
