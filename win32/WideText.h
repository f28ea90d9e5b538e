// The program's byte strings as the UTF-16 of the wide Windows calls, and back.
#pragma once

#include <string>

namespace widetext {

// The catalogue's and the toolkit's texts are code page 1252 whatever the
// system's ANSI code page is, so the code page is named, never CP_ACP.
std::wstring FromCp1252(const std::string& text);
// Characters that code page 1252 cannot hold come back as "?", never as a
// look-alike letter.
std::string ToCp1252(const std::wstring& text);

// Paths and error messages travel as UTF-8: a user name in any script fits.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);

}  // namespace widetext
