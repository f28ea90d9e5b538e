// What `ship` needs of the system: the ODBC driver manager, loaded only when the command asks for it.
// The journals and the cursors beside them are record files (platform/RecordFile.h): read by their
// handles, so that a rotation (a rename) leaves a journal readable to its end, and replaced whole.
#pragma once

#include <string>

#include "cli/Odbc.h"
#include "platform/RecordFile.h"

class ShipAccess {
 public:
  virtual ~ShipAccess() = default;
  // The driver manager's calls, loaded on the first call; null with the reason (the library missing).
  virtual const odbc::Calls* Odbc(std::string& why) = 0;
};

// The file itself, whatever names it ("device:node"; on Windows "volume:index"): a cursor is for one
// file. Empty when the system does not tell it.
std::string JournalIdentity(RecordFileHandle& journal);
// A small file whole; false when it is missing or cannot be read.
bool ReadWhole(RecordFiles& files, const std::string& path, std::string& bytes);
// The file replaced at once by bytes: a temporary file beside it, synced, put in its place. A crash
// leaves the old file or the new one, never a part. False with the system's error code.
bool ReplaceWhole(RecordFiles& files, const std::string& path, const std::string& bytes, int& error);
