// The program's byte strings as the UTF-16 of the wide Windows calls, and back.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace widetext {

// A zero-terminated UTF-16 text. Not std::wstring: the static C++ runtime
// brings its whole instantiation, 30 KB more in each program.
class Utf16 {
 public:
  Utf16() : units_(1, L'\0') {}
  // The first length units of a buffer that has room for one more.
  Utf16(std::vector<wchar_t> buffer, size_t length) : units_(std::move(buffer)) {
    units_.resize(length + 1);
    units_[length] = L'\0';
  }
  const wchar_t* c_str() const { return units_.data(); }
  size_t size() const { return units_.size() - 1; }

 private:
  std::vector<wchar_t> units_;
};

// The catalogue's and the toolkit's texts are code page 1252 whatever the
// system's ANSI code page is, so the code page is named, never CP_ACP.
Utf16 FromCp1252(const std::string& text);
// Characters that code page 1252 cannot hold come back as "?", never as a
// look-alike letter.
std::string ToCp1252(const Utf16& text);

// Paths and error messages travel as UTF-8: a user name in any script fits.
Utf16 FromUtf8(const std::string& text);
std::string ToUtf8(const wchar_t* text);

}  // namespace widetext
