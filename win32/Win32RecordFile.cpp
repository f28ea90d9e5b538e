// Record files by their handles.
#include "win32/Win32RecordFile.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "win32/SystemText.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"

namespace {

// The volume's serial number and the file index of an open handle.
bool HandleIdentity(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) == 0) return false;
  identity =
      FileIdentity{info.dwVolumeSerialNumber,
                   (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, std::string()};
  return true;
}

// A file or folder opened to be asked about only, whoever else has it open.
HANDLE OpenToAsk(const std::string& path) {
  return CreateFileW(widetext::FromUtf8(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A record file by its handle: LockFileEx for the turns of writers, the file's index against the
// path's for a rotation, SetEndOfFile to take back a part that a full disk accepted.
class Win32RecordFile : public RecordFileHandle {
 public:
  Win32RecordFile(HANDLE file, std::string path, bool own) : file_(file), path_(std::move(path)), own_(own) {
    regular_ = own && GetFileType(file_) == FILE_TYPE_DISK;
  }
  ~Win32RecordFile() override {
    if (own_) CloseHandle(file_);
  }
  bool Regular() override { return regular_; }
  bool Lock() override {
    OVERLAPPED whole{};
    return LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0 || Failed();
  }
  void Unlock() override {
    OVERLAPPED whole{};
    UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole);
  }
  int64_t Size() override {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file_, &size) == 0) return Failed(), -1;
    return size.QuadPart;
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
      const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - got, 1 << 20));
      if (ReadFile(file_, &bytes[got], ask, &n, &at) == 0) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return Failed();
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    return true;
  }
  bool Append(const std::string& bytes) override {
    if (!own_) {
      std::FILE* stream = file_ == GetStdHandle(STD_OUTPUT_HANDLE) ? stdout : stderr;
      if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() || std::fflush(stream) != 0) {
        error_ = ERROR_WRITE_FAULT;
        return false;
      }
      return true;
    }
    // Under the lock: the end is ours until the last byte.
    LARGE_INTEGER none{};
    if (regular_ && SetFilePointerEx(file_, none, nullptr, FILE_END) == 0) return Failed();
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD n = 0;
      if (WriteFile(file_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) == 0 ||
          n == 0)
        return Failed();
      done += n;
    }
    return true;
  }
  bool Truncate(int64_t size) override {
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return (SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file_) != 0) || Failed();
  }
  bool Sync() override { return !regular_ || FlushFileBuffers(file_) != 0 || Failed(); }
  bool StillNamed() override {
    if (!regular_) return true;
    const HANDLE named = OpenToAsk(path_);
    if (named == INVALID_HANDLE_VALUE) return false;
    FileIdentity a, b;
    const bool same = HandleIdentity(file_, a) && HandleIdentity(named, b) && a == b;
    CloseHandle(named);
    return same;
  }
  bool Identity(FileIdentity& identity) override { return HandleIdentity(file_, identity) || Failed(); }
  int Error() override { return static_cast<int>(error_); }

 private:
  bool Failed() {
    error_ = GetLastError();
    if (error_ == 0) error_ = ERROR_WRITE_FAULT;
    return false;
  }
  HANDLE file_;
  std::string path_;
  bool own_;
  bool regular_ = false;
  DWORD error_ = 0;
};

}  // namespace

std::unique_ptr<RecordFileHandle> Win32RecordFiles::Open(const std::string& path, bool truncate, int& error) {
  // Other writers, readers and a rotation (a rename, a delete) may share it.
  const widetext::Utf16 name = widetext::FromUtf8(path);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const DWORD how = truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, how,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file this account may only write is still written, without a look back.
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    file = CreateFileW(name.c_str(), GENERIC_WRITE, share, nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32RecordFile>(file, path, true);
}

std::unique_ptr<RecordFileHandle> Win32RecordFiles::OpenToRead(const std::string& path, int& error) {
  HANDLE file = CreateFileW(widetext::FromUtf8(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32RecordFile>(file, path, true);
}

bool Win32RecordFiles::Replace(const std::string& from, const std::string& to, int& error) {
  if (MoveFileExW(widetext::FromUtf8(from).c_str(), widetext::FromUtf8(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
    return true;
  error = static_cast<int>(GetLastError());
  return false;
}

void Win32RecordFiles::Remove(const std::string& path) { DeleteFileW(widetext::FromUtf8(path).c_str()); }

bool Win32RecordFiles::Identify(const std::string& path, FileIdentity& identity) {
  HANDLE file = OpenToAsk(path);
  if (file != INVALID_HANDLE_VALUE) {
    const bool known = HandleIdentity(file, identity);
    CloseHandle(file);
    return known;
  }
  // Not made yet: the folder it would be made in, and its name there, whose case Windows ignores.
  const size_t cut = path.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut + 1);
  file = OpenToAsk(folder);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = HandleIdentity(file, identity);
  CloseHandle(file);
  const widetext::Utf16 name = widetext::FromUtf8(cut == std::string::npos ? path : path.substr(cut + 1));
  std::vector<wchar_t> upper(name.c_str(), name.c_str() + name.size() + 1);
  CharUpperBuffW(upper.data(), static_cast<DWORD>(name.size()));
  identity.Name = widetext::ToUtf8(upper.data());
  return known;
}

int Win32RecordFiles::FolderError(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widetext::FromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return static_cast<int>(GetLastError());
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
}

std::unique_ptr<RecordFileHandle> Win32RecordFiles::StandardStream(int which) {
  return std::make_unique<Win32RecordFile>(GetStdHandle(which == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
                                           std::string(), false);
}

std::string Win32RecordFiles::ErrorText(int error) { return SystemText(static_cast<uint32_t>(error)); }
