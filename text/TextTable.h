// What every table of texts beside the window's catalogue shares (the command line's, the page's): pairs of
// CP1252 texts, French at index 0 and English at 1, looked up by their enum and said in UTF-8.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "text/Utf8.h"

// A table's member in a language (0 or 1), as CP1252 bytes.
template <typename Id, size_t N>
const char* TextOfTable(const char* const (&table)[N][2], Id id, uint32_t language) {
  assert(id >= 0 && static_cast<size_t>(id) < N && language < 2);
  return table[id][language];
}

// Set for the enum of each table whose texts are said in UTF-8.
template <typename Id>
struct IsSaidText : std::false_type {};

// The text in UTF-8, filled printf-style with arguments that are UTF-8 already.
template <typename Id, typename... Args, typename = std::enable_if_t<IsSaidText<Id>::value>>
std::string Say(Id id, uint32_t language, Args... args) {
  return Utf8Format(Text(id, language), args...);
}
