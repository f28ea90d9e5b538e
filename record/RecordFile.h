// One file of records (JSON lines, or a CSV file in our columns) that writers in several processes
// append to, each record whole: under the file's lock, after a look at its end.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/RecordFile.h"
#include "record/ReadingRecord.h"
#include "record/RecordIndex.h"
#include "record/RecordReader.h"
#include "record/RepeatMemory.h"

class RecordFile {
 public:
  enum Format { JsonLines, Csv };

  // separator: a new CSV file's; an existing one keeps its own.
  RecordFile(RecordFiles& files, Format format, char separator = ',');
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // The file at path, created when missing. A regular file is looked at under its lock: a CSV file keeps
  // its own separator, mark and columns, and one whose header is none of ours is left alone (false,
  // Foreign()); its records are known through its index (RecordIndex). A pipe, FIFO or terminal is
  // written, never read, a CSV header at once. False with Error() when it cannot be opened, or its open
  // was interrupted (a FIFO nobody reads holds it until a signal).
  bool Open(const std::string& path);
  // A stream that is no file (standard output): written, never read; a CSV header at once, without
  // the mark a spreadsheet needs.
  bool OpenStream(std::unique_ptr<RecordFileHandle> stream);
  bool IsOpen() const { return file_ != nullptr; }

  // Takes the file's lock and looks at it: a path that names another file now (rotated, deleted) is
  // opened again, a CSV file's shape read from its own header, and what other writers appended is taken
  // in. False with Error() when it cannot; the file is then not locked.
  bool Lock();
  // While locked: the file's records, or null for a file that cannot be read back (a pipe, a file this
  // account may only write).
  RecordIndex* Records() { return known_ ? index_.get() : nullptr; }
  // While locked, at the end: an empty CSV file gets its header first (a file of NUL bytes, or our header
  // cut short, counts as empty), a file whose end is not a whole line a line end; the record is synced,
  // or cut back off when it could not be written whole. The first failure is kept (Error(), the system's
  // code) and every later append refused.
  bool AppendLocked(const ReadingRecord& record);
  void Unlock();
  // Lock, AppendLocked, Unlock.
  bool Append(const ReadingRecord& record);
  int Error() const { return error_; }
  // Where writers take the locks of several files in one order, whoever they are.
  bool Identity(FileIdentity& identity) const;

  // A CSV file whose header is none of ours, and that header (its first line, or all of it).
  bool Foreign() const { return foreign_; }
  const std::string& ForeignHeader() const { return foreignHeader_; }

 private:
  bool LookLocked();
  bool ReadHeader();
  bool ForeignLine(const std::string& line);
  bool Reopen();
  bool WriteLine(const std::string& line);
  std::string LineEnd() const { return format_ == Csv ? "\r\n" : "\n"; }

  RecordFiles& files_;
  Format format_;
  CsvShape shape_;
  std::unique_ptr<RecordFileHandle> file_;
  std::unique_ptr<RecordIndex> index_;
  std::string path_;
  int error_ = 0;
  bool known_ = false;
  bool headerCut_ = false;  // NUL bytes, or our header cut short: nothing of a record
  bool foreign_ = false;
  std::string foreignHeader_;
};

// Appends the record to each file (those not open are passed over) under all their locks, taken in one
// order by every writer; its repeat and duplicate flags are decided there, from what the files hold
// (MarkFromFiles) or, when none of them can be read back, from memory, which keeps the run's records.
// False when a file could not take it.
bool AppendMarked(ReadingRecord& record, const std::vector<RecordFile*>& files, RepeatMemory& memory,
                  const PortName& canonical);
