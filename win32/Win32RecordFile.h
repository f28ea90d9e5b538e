// Record files on Windows: handles opened through the wide calls, shared with other writers, readers
// and a rotation; LockFileEx, FlushFileBuffers.
#pragma once

#include "platform/RecordFile.h"

class Win32RecordFiles : public RecordFiles {
 public:
  std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) override;
  std::unique_ptr<RecordFileHandle> StandardStream(int which) override;
  std::string ErrorText(int error) override;
};
