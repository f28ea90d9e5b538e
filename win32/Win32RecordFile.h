// Record files on Windows: handles opened through the wide calls, shared with other writers, readers
// and a rotation; LockFileEx, FlushFileBuffers.
#pragma once

#include "platform/RecordFile.h"

class Win32RecordFiles : public RecordFiles {
 public:
  std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) override;
  std::unique_ptr<RecordFileHandle> OpenToRead(const std::string& path, int& error) override;
  std::unique_ptr<RecordFileHandle> StandardStream(int which) override;
  bool Replace(const std::string& from, const std::string& to, int& error) override;
  void Remove(const std::string& path) override;
  bool Identify(const std::string& path, FileIdentity& identity) override;
  int FolderError(const std::string& path) override;
  std::string ErrorText(int error) override;
};
