// UTF-8 for what leaves the program as text: the catalogue's CP1252 converted, and any other bytes made
// valid.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

// One code point (up to U+10FFFF) appended as UTF-8.
void AppendUtf8(std::string& out, uint32_t code);

// The catalogue's bytes (Windows code page 1252) as UTF-8. The five bytes the
// code page leaves undefined stand for the control characters of the same
// number, as Windows converts them.
std::string Utf8FromCp1252(const std::string& text);

// The text with every byte that is not part of a valid UTF-8 sequence (a stray
// continuation byte, a cut or overlong sequence, a surrogate, beyond U+10FFFF)
// replaced by U+FFFD: paths and USB strings are bytes, and a parser of the
// program's output must not stumble on them.
std::string ValidUtf8(const std::string& text);

// A catalogue text (CP1252) filled printf-style with arguments that are UTF-8
// already, as UTF-8: the format is converted first, so the arguments are not.
std::string Utf8FormatV(const char* cp1252Format, va_list args);
std::string Utf8Format(const char* cp1252Format, ...);
