// printf-style formatting of catalogue texts into a string of their own.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__)
#define BRAVELLE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define BRAVELLE_PRINTF(fmt, first)
#endif

std::string Format(const char* format, ...) BRAVELLE_PRINTF(1, 2);
std::string FormatV(const char* format, va_list args);

// The value of a hexadecimal digit, either case, or -1 for any other character
// (also for values outside 0-255, as a line can deliver them).
int ValueOfHexDigit(int c);
