// The settings file through GetWindowsDirectoryW, SHGetKnownFolderPath, CreateFileW, ReadFile and WriteFile.
#include "win32/Win32SettingsStorage.h"

#include <vector>

#include "win32/WideText.h"

// The shell's headers come after the macros WindowsApi.h sets for <windows.h>.
// clang-format off
#include "win32/WindowsApi.h"
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

namespace {

constexpr size_t kDirectoryBuffer = 200;
constexpr UINT kDirectoryCapacity = 198;

// Opens one existing file or makes a new one, and closes it with the scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (IsOpen()) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// Paths are opened as UTF-16: no ANSI code page stands between the profile
// folder's name and the file.
widetext::Utf16 Wide(const std::string& path) { return widetext::FromUtf8(path); }

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Why the last call on path failed. A folder standing where the file should
// be also answers ERROR_ACCESS_DENIED; that is a damaged installation rather
// than a refusal by the user's rights, and is reported where it is.
SettingsStorage::Outcome FailureOn(const std::string& path) {
  const SettingsStorage::Outcome outcome = SettingsStorage::OutcomeOfError(GetLastError());
  if (outcome == SettingsStorage::Outcome::AccessDenied && IsFolder(path))
    return SettingsStorage::Outcome::Failed;
  return outcome;
}

}  // namespace

std::string Win32SettingsStorage::WindowsDirectory() {
  // The result is not looked at: a directory name too long for the buffer
  // leaves it empty, and the settings path is then the bare file name.
  wchar_t buffer[kDirectoryBuffer] = {};
  GetWindowsDirectoryW(buffer, kDirectoryCapacity);
  buffer[kDirectoryBuffer - 1] = L'\0';
  return widetext::ToUtf8(buffer);
}

std::string Win32SettingsStorage::LocalAppDataDirectory() {
  PWSTR wide = nullptr;
  std::string path;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &wide)) && wide)
    path = widetext::ToUtf8(wide);
  // Freed whatever the outcome, as the call's contract asks.
  CoTaskMemFree(wide);
  return path;
}

bool Win32SettingsStorage::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  // A directory of that name is no settings file; creating the file over it
  // then fails and start-up reports that it cannot create it.
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

SettingsStorage::Outcome Win32SettingsStorage::ReadFile(const std::string& path, size_t maxBytes,
                                                        std::string& bytes) {
  bytes.clear();
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return FailureOn(path);
  std::vector<char> buffer(maxBytes);
  size_t total = 0;
  while (total < maxBytes) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(maxBytes - total);
    // A region locked by another program, a medium gone: what was read so far
    // is no settings text.
    if (!::ReadFile(file.Get(), buffer.data() + total, want, &got, nullptr)) return Outcome::Failed;
    if (got == 0) break;
    total += got;
  }
  bytes.assign(buffer.data(), total);
  return Outcome::Done;
}

SettingsStorage::Outcome Win32SettingsStorage::CreateFile(const std::string& path, const std::string& bytes,
                                                          size_t& written) {
  written = 0;
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsOpen()) return FailureOn(path);
  DWORD count = 0;
  if (!bytes.empty()) WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
  written = count;
  return Outcome::Done;
}

SettingsStorage::Outcome Win32SettingsStorage::CreateFolder(const std::string& path) {
  if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return Outcome::Done;
  const DWORD error = GetLastError();
  if (IsFolder(path)) return Outcome::Done;
  return OutcomeOfError(error);
}
