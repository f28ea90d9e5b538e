// What `ship` and `records` need of the system: the ODBC driver manager, loaded only when a command asks
// for it, the journals read (never written), and the cursors beside them replaced whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cli/Odbc.h"

// A journal as it is read: by its handle, so that a rotation (a rename) leaves it readable to its end.
class JournalHandle {
 public:
  virtual ~JournalHandle() = default;
  // The size now; -1 when it cannot be told.
  virtual int64_t Size() = 0;
  // Up to count bytes from offset (fewer at the end); false on a read error.
  virtual bool ReadAt(int64_t offset, size_t count, std::string& bytes) = 0;
  // Whether the path it was opened by still names this very file.
  virtual bool StillNamed() = 0;
  // The file itself, whatever names it ("device:inode", "volume:index"): a cursor is for one file.
  virtual std::string Identity() = 0;
};

class ShipAccess {
 public:
  virtual ~ShipAccess() = default;
  // The driver manager's calls, loaded on the first call; null with the reason (the library missing).
  virtual const odbc::Calls* Odbc(std::string& why) = 0;
  // An existing journal, for reading; null with the system's error code.
  virtual std::unique_ptr<JournalHandle> OpenJournal(const std::string& path, int& error) = 0;
  // A small file whole; false when it is missing or cannot be read.
  virtual bool ReadWhole(const std::string& path, std::string& bytes) = 0;
  // The file replaced at once by bytes: a temporary file beside it, synced, renamed over it. A crash
  // leaves the old file or the new one, never a part. False with the system's error code.
  virtual bool ReplaceWhole(const std::string& path, const std::string& bytes, int& error) = 0;
};
