// Conversions through MultiByteToWideChar and WideCharToMultiByte with the code page named.
#include "win32/WideText.h"

#include "win32/WindowsApi.h"

namespace widetext {

namespace {

constexpr UINT kCatalogueCodePage = 1252;

Utf16 Widen(UINT codePage, const std::string& text) {
  const int size = static_cast<int>(text.size());
  const int length = text.empty() ? 0 : MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return Utf16();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  MultiByteToWideChar(codePage, 0, text.data(), size, buffer.data(), length);
  return Utf16(std::move(buffer), static_cast<size_t>(length));
}

// UTF-8 takes no flags (WC_NO_BEST_FIT_CHARS is refused there); 1252 gets
// WC_NO_BEST_FIT_CHARS so that an unknown letter is not passed off as another.
std::string Narrow(UINT codePage, DWORD flags, const wchar_t* text, int size) {
  const int length =
      size <= 0 ? 0 : WideCharToMultiByte(codePage, flags, text, size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, text, size, &narrow[0], length, nullptr, nullptr);
  return narrow;
}

}  // namespace

Utf16 FromCp1252(const std::string& text) { return Widen(kCatalogueCodePage, text); }

std::string ToCp1252(const Utf16& text) {
  return Narrow(kCatalogueCodePage, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()));
}

Utf16 FromUtf8(const std::string& text) { return Widen(CP_UTF8, text); }

std::string ToUtf8(const wchar_t* text) { return Narrow(CP_UTF8, 0, text, lstrlenW(text)); }

}  // namespace widetext
