// The one fake of the record files: files in memory, and a file that will not open.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/RecordFile.h"

namespace fake {

// Each path is a file of its own, made at its first open.
class FakeRecordFiles : public RecordFiles {
 public:
  std::map<std::string, std::string> Files;
  // Every open fails with this system error (another program holds the file); 0: files open.
  int OpenError = 0;

  std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) override;
  std::unique_ptr<RecordFileHandle> OpenToRead(const std::string& path, int& error) override;
  std::unique_ptr<RecordFileHandle> StandardStream(int) override { return nullptr; }
  bool Replace(const std::string& from, const std::string& to, int& error) override;
  void Remove(const std::string& path) override { Files.erase(path); }
  // A file's identity is its path: no links in memory.
  bool Identify(const std::string& path, FileIdentity& identity) override;
  int FolderError(const std::string&) override { return 0; }
  std::string ErrorText(int error) override { return std::to_string(error); }
};

}  // namespace fake
