// Reader and writer of the settings file.
#include "text/SettingsFile.h"

#include <climits>

#include "text/Format.h"

const char kSettingsFileName[] = "\\CalvineV1.CFG";

namespace {

// Under %LOCALAPPDATA%; VirtualStore mirrors C:\Windows without its drive.
const char kUserFolder[] = "\\Bravelle";
const char kVirtualStoreFolder[] = "\\VirtualStore\\Windows";

// Spaces and control characters: every byte whose code is below 33.
bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
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

SettingsError::SettingsError(Failure failure, const std::string& path)
    : std::runtime_error((failure == Failure::Open ? "cannot open " : "cannot create ") + path),
      Failed(failure),
      Path(path) {}

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

namespace {

using Outcome = SettingsStorage::Outcome;

// The user's own folder and file under %LOCALAPPDATA%, and the copy Windows'
// VirtualStore kept for an earlier 32-bit program that believed it wrote the
// Windows directory. The system is asked for the folder once per operation;
// all empty when it names none.
struct UserPlaces {
  std::string Folder;
  std::string File;
  std::string VirtualStoreCopy;
};

UserPlaces UserPlacesOf(SettingsStorage& storage) {
  const std::string local = storage.LocalAppDataDirectory();
  if (local.empty()) return {};
  const std::string folder = local + kUserFolder;
  return {folder, folder + kSettingsFileName, local + kVirtualStoreFolder + kSettingsFileName};
}

[[noreturn]] void CannotCreate(const std::string& path) {
  throw SettingsError(SettingsError::Failure::Create, path);
}

[[noreturn]] void CannotOpen(const std::string& path) {
  throw SettingsError(SettingsError::Failure::Open, path);
}

// The text the reader sees: the first 200 bytes, up to the first zero byte.
int32_t LanguageOfBytes(std::string bytes) {
  if (bytes.size() > kSettingsReadWindow) bytes.resize(kSettingsReadWindow);
  const size_t nul = bytes.find('\0');
  if (nul != std::string::npos) bytes.resize(nul);
  return ParseSettingsLanguage(bytes);
}

Outcome ReadLanguage(SettingsStorage& storage, const std::string& path, int32_t& language) {
  std::string bytes;
  const Outcome outcome = storage.ReadFile(path, kSettingsReadWindow, bytes);
  if (outcome == Outcome::Done) language = LanguageOfBytes(bytes);
  return outcome;
}

// A short write leaves a file that no longer says what was chosen; it counts
// as a failure to create the file.
Outcome TryWrite(SettingsStorage& storage, const std::string& path, uint32_t language) {
  const std::string line = FormatSettingsLine(language);
  size_t written = 0;
  const Outcome outcome = storage.CreateFile(path, line, written);
  if (outcome == Outcome::Done && written != line.size()) return Outcome::Failed;
  return outcome;
}

// Writes the user's own file, making its folder first; deniedPath is the file
// that refused, named in the error when the system names no user folder.
std::string WriteUserSettings(SettingsStorage& storage, const UserPlaces& user, uint32_t language,
                              const std::string& deniedPath) {
  if (user.File.empty()) CannotCreate(deniedPath);
  // A folder that cannot be made shows as the file that cannot be created.
  storage.CreateFolder(user.Folder);
  if (TryWrite(storage, user.File, language) != Outcome::Done) CannotCreate(user.File);
  return user.File;
}

// The language a new user file starts with: what the VirtualStore copy says
// when it can be read, else French. Only a language is carried over, so the
// new file holds the canonical line.
uint32_t SeedLanguage(SettingsStorage& storage, const UserPlaces& user) {
  const std::string& copy = user.VirtualStoreCopy;
  int32_t language = 0;
  if (copy.empty() || !storage.FileExists(copy) || ReadLanguage(storage, copy, language) != Outcome::Done)
    return 0;
  return language == 1 ? 1 : 0;
}

StoredSettings CreateUserSettings(SettingsStorage& storage, const UserPlaces& user,
                                  const std::string& deniedPath) {
  const uint32_t language = SeedLanguage(storage, user);
  return {WriteUserSettings(storage, user, language, deniedPath), static_cast<int32_t>(language)};
}

}  // namespace

StoredSettings LoadOrCreateSettings(SettingsStorage& storage) {
  // Once a user has a file of their own it holds their choice, even where the
  // Windows directory became writable later (an elevated start).
  const UserPlaces user = UserPlacesOf(storage);
  if (!user.File.empty() && storage.FileExists(user.File)) {
    StoredSettings settings{user.File, 0};
    if (ReadLanguage(storage, user.File, settings.Language) != Outcome::Done) CannotOpen(user.File);
    return settings;
  }
  const std::string windows = SettingsPathIn(storage.WindowsDirectory());
  if (storage.FileExists(windows)) {
    StoredSettings settings{windows, 0};
    const Outcome outcome = ReadLanguage(storage, windows, settings.Language);
    if (outcome == Outcome::Done) return settings;
    if (outcome == Outcome::AccessDenied) return CreateUserSettings(storage, user, windows);
    CannotOpen(windows);
  }
  const Outcome outcome = TryWrite(storage, windows, 0);
  if (outcome == Outcome::Done) return {windows, 0};
  if (outcome == Outcome::AccessDenied) return CreateUserSettings(storage, user, windows);
  CannotCreate(windows);
}

std::string UserFolder(SettingsStorage& storage) {
  const std::string folder = UserPlacesOf(storage).Folder;
  if (folder.empty() || storage.CreateFolder(folder) != Outcome::Done) return {};
  return folder;
}

StoredSettings FindStoredSettings(SettingsStorage& storage) {
  const UserPlaces user = UserPlacesOf(storage);
  const std::string candidates[] = {user.File, SettingsPathIn(storage.WindowsDirectory()),
                                    user.VirtualStoreCopy};
  for (const std::string& path : candidates) {
    StoredSettings settings{path, 0};
    if (!path.empty() && storage.FileExists(path) &&
        ReadLanguage(storage, path, settings.Language) == Outcome::Done)
      return settings;
  }
  return {};
}

// Whether the file at path holds exactly line, and nothing after it.
bool Holds(SettingsStorage& storage, const std::string& path, const std::string& line) {
  std::string bytes;
  return storage.FileExists(path) && storage.ReadFile(path, line.size() + 1, bytes) == Outcome::Done &&
         bytes == line;
}

std::string WriteSettings(SettingsStorage& storage, const std::string& path, uint32_t language) {
  // A file that already says it is left alone: a read-only or hidden one
  // would refuse the rewrite for nothing.
  if (Holds(storage, path, FormatSettingsLine(language))) return path;
  const Outcome outcome = TryWrite(storage, path, language);
  if (outcome == Outcome::Done) return path;
  if (outcome == Outcome::AccessDenied) {
    const UserPlaces user = UserPlacesOf(storage);
    if (path != user.File) return WriteUserSettings(storage, user, language, path);
  }
  CannotCreate(path);
}
