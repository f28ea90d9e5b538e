// Reader and writer of the settings file.
#include "app/text/SettingsFile.h"

#include <climits>

#include "app/text/Format.h"
#include "ui/Toolkit.h"

const char kSettingsFileName[] = "\\CalvineV1.CFG";

namespace {

// Spaces and control characters: every byte whose code is below 33.
bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

int ValueOfHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An optional sign, then decimal digits, or hexadecimal digits after "$", "x"
// or "0x"; anything else, or a value outside the signed 32-bit range, is 0.
int32_t ToInteger(const std::string& s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == s.size()) return 0;
  // Accumulate the magnitude in 64 bits; stop as soon as it cannot fit.
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  long long value = 0;
  for (; i < s.size(); ++i) {
    const int d = ValueOfHexDigit(s[i]);
    if (d < 0 || d >= base) return 0;
    value = value * base + d;
    if (value > limit) return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

std::string SettingsPathIn(const std::string& windowsDirectory) {
  return windowsDirectory + kSettingsFileName;
}

int32_t ParseSettingsLanguage(const std::string& text) {
  // The key only tells where parsing starts; without it the whole text is parsed.
  const size_t key = text.find("Langue");
  const std::string rest = Trim(key == std::string::npos ? text : text.substr(key));
  // 1-based positions, 0 when not found.
  const size_t eq = rest.find('=');
  const size_t semi = rest.find(';');
  const long long e = eq == std::string::npos ? 0 : static_cast<long long>(eq) + 1;
  const long long s = semi == std::string::npos ? 0 : static_cast<long long>(semi) + 1;
  const long long length = s - e - 1;
  std::string value;
  if (length > 0) value = rest.substr(static_cast<size_t>(e), static_cast<size_t>(length));
  return ToInteger(Trim(value));
}

std::string FormatSettingsLine(uint32_t language) {
  return Format("%s=%i%s\n\r", "Langue", static_cast<int>(language), ";");
}

int32_t LoadOrCreateSettings(SettingsStorage& storage, const std::string& path) {
  if (!storage.FileExists(path)) {
    WriteSettings(storage, path, 0);
    return 0;
  }
  std::string bytes;
  if (!storage.ReadFile(path, kSettingsReadWindow, bytes))
    throw ui::Error(Format(ui::kOpenFileError, path.c_str()));
  if (bytes.size() > kSettingsReadWindow) bytes.resize(kSettingsReadWindow);
  // The text ends at the first zero byte.
  const size_t nul = bytes.find('\0');
  if (nul != std::string::npos) bytes.resize(nul);
  return ParseSettingsLanguage(bytes);
}

void WriteSettings(SettingsStorage& storage, const std::string& path, uint32_t language) {
  const std::string line = FormatSettingsLine(language);
  size_t written = 0;
  // A short write would leave a settings file that no longer says what was
  // chosen; it is reported like a file that cannot be created.
  if (!storage.CreateFile(path, line, written) || written != line.size())
    throw ui::Error(Format(ui::kCreateFileError, path.c_str()));
}
