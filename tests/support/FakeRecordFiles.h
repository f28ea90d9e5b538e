// The one fake of the record files: files in memory, with the failures a disk has.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/RecordFile.h"

namespace fake {

// Each path is a file of its own, made at its first open. A file that cannot be opened (a folder that is
// gone, a file another program holds) and a disk that fills up can be asked for.
class FakeRecordFiles : public RecordFiles {
 public:
  std::map<std::string, std::string> Files;
  // Every open fails with this system error; 0: files open.
  int OpenError = 0;
  // Bytes the disk still takes; an append that needs more writes what fits and fails with DiskFull.
  // Negative: no limit.
  long long SpaceLeft = -1;
  static constexpr int kDiskFull = 112;  // ERROR_DISK_FULL

  std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) override;
  std::unique_ptr<RecordFileHandle> StandardStream(int) override { return nullptr; }
  std::string ErrorText(int error) override { return "error " + std::to_string(error); }
};

}  // namespace fake
