// The one-line settings file that keeps the language: its path, reader and writer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SettingsStorage.h"

// The file's name, appended to the Windows directory as it stands.
extern const char kSettingsFileName[];  // "\CalvineV1.CFG"
// Only this many bytes of the file are ever looked at.
constexpr size_t kSettingsReadWindow = 200;

std::string SettingsPathIn(const std::string& windowsDirectory);

// The stored language of a settings text; 0 for anything unusable. The value
// is returned as parsed (2 or -1 are possible); the language setter filters it.
int32_t ParseSettingsLanguage(const std::string& text);

// The line the program writes: "Langue=<n>;" then 0x0A 0x0D.
std::string FormatSettingsLine(uint32_t language);

// Reads the stored language, or creates the file for French when it is
// missing. Throws ui::Error with the toolkit's file error texts.
int32_t LoadOrCreateSettings(SettingsStorage& storage, const std::string& path);

// Creates (truncates) the file and writes the line for language. Throws
// ui::Error "Impossible de créer le fichier <path>" when the file cannot be
// created, and also when fewer bytes were written than formatted.
void WriteSettings(SettingsStorage& storage, const std::string& path, uint32_t language);
