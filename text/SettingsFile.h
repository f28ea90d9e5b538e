// The one-line settings file that keeps the language: where it lives, its reader and writer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/SettingsStorage.h"

// The file's name, appended to a folder as it stands.
extern const char kSettingsFileName[];  // "\CalvineV1.CFG"
// Only this many bytes of the file are ever looked at.
constexpr size_t kSettingsReadWindow = 200;

// The file in the Windows directory: the one place while that directory can be written.
std::string SettingsPathIn(const std::string& windowsDirectory);

// The stored language of a settings text; 0 for anything unusable. The value
// is returned as parsed (2 or -1 are possible); the language setter filters it.
int32_t ParseSettingsLanguage(const std::string& text);

// The line the program writes: "Langue=<n>;" then 0x0A 0x0D.
std::string FormatSettingsLine(uint32_t language);

// A settings file that could not be had: which failure, on which file. The window program words it.
class SettingsError : public std::runtime_error {
 public:
  enum class Failure { Open, Create };
  SettingsError(Failure failure, const std::string& path);
  Failure Failed;
  std::string Path;  // UTF-8
};

// A settings file and the language read from it, as parsed: only 0 and 1 name
// a language, anything else leaves the program in French.
struct StoredSettings {
  std::string Path;
  int32_t Language = 0;
};

// Start-up: the user's own file once it exists; otherwise the file in the
// Windows directory, read, or created for French when missing. When the
// Windows directory refuses the user, the user's file is made instead, seeded
// from the VirtualStore copy when one can be read. Throws SettingsError
// naming the path tried last: Open for a file there that cannot be read,
// Create when no file can be read and none created.
StoredSettings LoadOrCreateSettings(SettingsStorage& storage);

// The program's folder among the user's own (%LOCALAPPDATA%\Bravelle), where the user's settings file and
// the window's saved readings live; made when missing. Empty when the system names no such folder or it
// cannot be made.
std::string UserFolder(SettingsStorage& storage);

// The same choice of file for a program that only wants to know the language:
// nothing is created or written and nothing throws. Path is empty when no
// file could be read; the language is then 0.
StoredSettings FindStoredSettings(SettingsStorage& storage);

// Creates (truncates) the file at path and writes the line for language,
// unless the file holds exactly that line already; when the system refuses
// access there, the user's own file is written instead.
// Returns the path written. Throws SettingsError Create, naming the path
// tried last, when no file can be created, and also when fewer bytes were
// written than formatted.
std::string WriteSettings(SettingsStorage& storage, const std::string& path, uint32_t language);
