// The system's words for one of its error codes.
#pragma once

#include <cstdint>
#include <string>

// FormatMessage's text in the user's language, UTF-8, without its line end; empty when it has none.
std::string SystemText(uint32_t code);
