// The pane lines of a complete reading, from the one file the native and the Wine tests share.
#pragma once

#include <string>
#include <vector>

// The lines of language "fr" or "en" in tests/support/complete_reading_pane.txt, as CP1252 bytes.
std::vector<std::string> CompleteReadingPane(const std::string& language);
