// UTF-8 made valid.
#include "text/Utf8.h"

#include <cstdint>

#include "text/Format.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t cp = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, least = 0x10000;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    valid = valid && cp >= least && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      // One mark per byte that cannot start a character; the bytes after it are looked at afresh.
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::string Utf8FormatV(const char* cp1252Format, va_list args) {
  return FormatV(Utf8FromCp1252(cp1252Format).c_str(), args);
}
