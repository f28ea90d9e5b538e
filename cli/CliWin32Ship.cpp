// What ship and records need of Windows: odbc32.dll, Windows' own driver manager, loaded from the
// system folder when ship runs (a reading never loads it, and the program stays one file); journals by
// their handles, shared with the writers and a rotation; cursors replaced by MoveFileExW.
#include "cli/CliWin32.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"

namespace {

class Win32Journal : public JournalHandle {
 public:
  Win32Journal(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~Win32Journal() override { CloseHandle(file_); }
  int64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_, &size) != 0 ? size.QuadPart : -1;
  }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    size_t got = 0;
    while (got < count) {
      OVERLAPPED at{};
      const uint64_t where = static_cast<uint64_t>(offset) + got;
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
      DWORD n = 0;
      const DWORD ask = static_cast<DWORD>(count - got < (1u << 20) ? count - got : (1u << 20));
      if (ReadFile(file_, &bytes[got], ask, &n, &at) == 0) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return false;
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    return true;
  }
  bool StillNamed() override {
    const HANDLE named = CreateFileW(widetext::FromUtf8(path_).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    const bool same = Of(file_) == Of(named);
    CloseHandle(named);
    return same;
  }
  std::string Identity() override { return Of(file_); }

 private:
  static std::string Of(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info) == 0) return std::string();
    return std::to_string(info.dwVolumeSerialNumber) + ":" +
           std::to_string((static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
  }
  HANDLE file_;
  std::string path_;
};

}  // namespace

const odbc::Calls* Win32ShipAccess::Odbc(std::string& why) {
  if (loaded_) return &calls_;
  // From the system folder only: an odbc32.dll beside the program or in the working folder is not ours.
  const HMODULE library = LoadLibraryExW(L"odbc32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) {
    why = "odbc32.dll: " + std::to_string(GetLastError());
    return nullptr;
  }
  std::string missing;
  const auto lookup = [](void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
  };
  if (!odbc::FillCalls(calls_, lookup, library, missing)) {
    why = "odbc32.dll: " + missing;
    return nullptr;
  }
  loaded_ = true;
  return &calls_;
}

std::unique_ptr<JournalHandle> Win32ShipAccess::OpenJournal(const std::string& path, int& error) {
  // The writers, a rotation (a rename, a delete) and other readers all go on beside it.
  const HANDLE file = CreateFileW(widetext::FromUtf8(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32Journal>(file, path);
}

bool Win32ShipAccess::ReadWhole(const std::string& path, std::string& bytes) {
  int error = 0;
  std::unique_ptr<JournalHandle> handle = OpenJournal(path, error);
  if (!handle) return false;
  const int64_t size = handle->Size();
  return size >= 0 && size < (1 << 20) && handle->ReadAt(0, static_cast<size_t>(size), bytes);
}

bool Win32ShipAccess::ReplaceWhole(const std::string& path, const std::string& bytes, int& error) {
  const widetext::Utf16 temporary = widetext::FromUtf8(path + ".new");
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
            written == bytes.size() && FlushFileBuffers(file) != 0;
  if (!ok) error = static_cast<int>(GetLastError());
  CloseHandle(file);
  if (ok && MoveFileExW(temporary.c_str(), widetext::FromUtf8(path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    error = static_cast<int>(GetLastError());
    ok = false;
  }
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}
