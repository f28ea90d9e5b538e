// Record files in memory.
#include "tests/support/FakeRecordFiles.h"

#include <algorithm>

namespace fake {

namespace {

class FakeRecordFile : public RecordFileHandle {
 public:
  explicit FakeRecordFile(std::string& bytes) : bytes_(bytes) {}
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
  int Error() override { return 0; }

 private:
  std::string& bytes_;
};

}  // namespace

std::unique_ptr<RecordFileHandle> FakeRecordFiles::Open(const std::string& path, bool truncate, int& error) {
  error = OpenError;
  if (OpenError != 0) return nullptr;
  std::string& bytes = Files[path];
  if (truncate) bytes.clear();
  return std::make_unique<FakeRecordFile>(bytes);
}

}  // namespace fake
