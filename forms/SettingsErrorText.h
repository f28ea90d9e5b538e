// The window program's words for a settings file it could not have.
#pragma once

#include <string>

#include "text/SettingsFile.h"

// The toolkit's file text ("Impossible de créer le fichier %s", "Impossible d'ouvrir le fichier %s")
// with the path in place of its "%s"; UTF-8, as the toolkit's error messages are.
std::string SettingsErrorText(const SettingsError& error);
