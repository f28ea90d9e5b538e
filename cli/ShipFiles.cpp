// The journals' identities and the cursors beside them, through the record files of the system.
#include "cli/ShipAccess.h"

#include <memory>

std::string JournalIdentity(RecordFileHandle& journal) {
  FileIdentity identity;
  if (!journal.Identity(identity)) return std::string();
  return std::to_string(identity.Device) + ":" + std::to_string(identity.Node);
}

bool ReadWhole(RecordFiles& files, const std::string& path, std::string& bytes) {
  int error = 0;
  const std::unique_ptr<RecordFileHandle> file = files.OpenToRead(path, error);
  if (!file) return false;
  const int64_t size = file->Size();
  return size >= 0 && size < (1 << 20) && file->ReadAt(0, static_cast<size_t>(size), bytes);
}

bool ReplaceWhole(RecordFiles& files, const std::string& path, const std::string& bytes, int& error) {
  const std::string temporary = path + ".new";
  {
    const std::unique_ptr<RecordFileHandle> file = files.Open(temporary, true, error);
    if (!file) return false;
    // Synced before it takes the name: after a power cut the name holds the old file or the new one.
    if (!file->Append(bytes) || !file->Sync()) {
      error = file->Error();
      files.Remove(temporary);
      return false;
    }
  }
  // Closed first: Windows puts no file in the place of an open one.
  if (files.Replace(temporary, path, error)) return true;
  files.Remove(temporary);
  return false;
}
