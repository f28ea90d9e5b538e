// Conversions through MultiByteToWideChar and WideCharToMultiByte with the code page named.
#include "win32/WideText.h"

#include "win32/WindowsApi.h"

namespace widetext {

namespace {

constexpr UINT kCatalogueCodePage = 1252;

std::wstring Widen(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
  return wide;
}

// UTF-8 takes no flags (WC_NO_BEST_FIT_CHARS is refused there); 1252 gets
// WC_NO_BEST_FIT_CHARS so that an unknown letter is not passed off as another.
std::string Narrow(UINT codePage, DWORD flags, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), size, &narrow[0], length, nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring FromCp1252(const std::string& text) { return Widen(kCatalogueCodePage, text); }

std::string ToCp1252(const std::wstring& text) { return Narrow(kCatalogueCodePage, WC_NO_BEST_FIT_CHARS, text); }

std::wstring FromUtf8(const std::string& text) { return Widen(CP_UTF8, text); }

std::string ToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, 0, text); }

}  // namespace widetext
