// Record files on a POSIX system: file descriptors opened with O_APPEND, flock, fsync.
#pragma once

#include "platform/RecordFile.h"

class PosixRecordFiles : public RecordFiles {
 public:
  std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) override;
  std::unique_ptr<RecordFileHandle> StandardStream(int which) override;
  std::string ErrorText(int error) override;
};
