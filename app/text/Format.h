// printf-style formatting of catalogue texts into a string of their own.
#pragma once

#include <string>

#if defined(__GNUC__)
#define BRAVELLE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define BRAVELLE_PRINTF(fmt, first)
#endif

std::string Format(const char* format, ...) BRAVELLE_PRINTF(1, 2);
