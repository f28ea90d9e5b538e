// Record files in memory.
#include "tests/support/FakeRecordFiles.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace fake {

namespace {

FileIdentity IdentityOf(const std::string& path) {
  return FileIdentity{1, static_cast<uint64_t>(std::hash<std::string>()(path)), std::string()};
}

class FakeRecordFile : public RecordFileHandle {
 public:
  FakeRecordFile(std::string& bytes, std::string path) : bytes_(bytes), path_(std::move(path)) {}
  bool Regular() override { return true; }
  bool Lock() override { return true; }
  void Unlock() override {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes = bytes_.substr(std::min(static_cast<size_t>(offset), bytes_.size()), count);
    return true;
  }
  bool Append(const std::string& bytes) override {
    bytes_ += bytes;
    return true;
  }
  bool Truncate(int64_t size) override {
    bytes_.resize(static_cast<size_t>(size));
    return true;
  }
  bool Sync() override { return true; }
  bool StillNamed() override { return true; }
  bool Identity(FileIdentity& identity) override {
    identity = IdentityOf(path_);
    return true;
  }
  int Error() override { return 0; }

 private:
  std::string& bytes_;
  std::string path_;
};

}  // namespace

std::unique_ptr<RecordFileHandle> FakeRecordFiles::Open(const std::string& path, bool truncate, int& error) {
  error = OpenError;
  if (OpenError != 0) return nullptr;
  std::string& bytes = Files[path];
  if (truncate) bytes.clear();
  return std::make_unique<FakeRecordFile>(bytes, path);
}

std::unique_ptr<RecordFileHandle> FakeRecordFiles::OpenToRead(const std::string& path, int& error) {
  const auto file = Files.find(path);
  error = OpenError != 0 ? OpenError : file == Files.end() ? 2 : 0;
  if (error != 0) return nullptr;
  return std::make_unique<FakeRecordFile>(file->second, path);
}

bool FakeRecordFiles::Replace(const std::string& from, const std::string& to, int& error) {
  const auto file = Files.find(from);
  if (file == Files.end()) return (error = 2), false;
  Files[to] = file->second;
  Files.erase(from);
  return true;
}

bool FakeRecordFiles::Identify(const std::string& path, FileIdentity& identity) {
  identity = IdentityOf(path);
  return true;
}

}  // namespace fake
