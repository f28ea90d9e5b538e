// Record files in memory.
#include "tests/support/FakeRecordFiles.h"

#include <algorithm>

namespace fake {

namespace {

class FakeRecordFile : public RecordFileHandle {
 public:
  FakeRecordFile(FakeRecordFiles& files, std::string& bytes) : files_(files), bytes_(bytes) {}
  bool Regular() override { return true; }
  bool Lock() override { return true; }
  void Unlock() override {}
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes = offset < Size() ? bytes_.substr(static_cast<size_t>(offset), count) : std::string();
    return true;
  }
  bool Append(const std::string& bytes) override {
    if (files_.SpaceLeft < 0 || static_cast<long long>(bytes.size()) <= files_.SpaceLeft) {
      if (files_.SpaceLeft >= 0) files_.SpaceLeft -= static_cast<long long>(bytes.size());
      bytes_ += bytes;
      return true;
    }
    // What fits goes in, as a full disk takes part of a write.
    bytes_ += bytes.substr(0, static_cast<size_t>(files_.SpaceLeft));
    files_.SpaceLeft = 0;
    error_ = FakeRecordFiles::kDiskFull;
    return false;
  }
  bool Truncate(int64_t size) override {
    bytes_.resize(static_cast<size_t>(std::min<int64_t>(size, Size())));
    return true;
  }
  bool Sync() override { return true; }
  bool StillNamed() override { return true; }
  int Error() override { return error_; }

 private:
  FakeRecordFiles& files_;
  std::string& bytes_;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<RecordFileHandle> FakeRecordFiles::Open(const std::string& path, bool truncate, int& error) {
  if (OpenError != 0) {
    error = OpenError;
    return nullptr;
  }
  std::string& bytes = Files[path];
  if (truncate) bytes.clear();
  return std::make_unique<FakeRecordFile>(*this, bytes);
}

}  // namespace fake
