// One file of records (JSON lines, or a CSV file in our columns) that writers in several processes
// append to, each record whole: under the file's lock, after a look at its end.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/RecordFile.h"
#include "record/ReadingRecord.h"
#include "record/RecordReader.h"

class RecordFile {
 public:
  enum Format { JsonLines, Csv };
  // Each record of ours read back from the file as it is opened.
  using SeenRecord = std::function<void(RecordSeen& seen)>;

  // separator: a new CSV file's; an existing one keeps its own.
  RecordFile(RecordFiles& files, Format format, char separator = ',');
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // The file at path, created when missing. A regular file is read back under its lock, each record
  // handed to seen; a CSV file keeps its own separator, mark and columns, and one whose header is none
  // of ours is left alone (false, Foreign()). A pipe, FIFO or terminal is written, never read, a CSV
  // header at once. False with Error() when it cannot be opened, or its open was interrupted (a FIFO
  // nobody reads holds it until a signal).
  bool Open(const std::string& path, const SeenRecord& seen);
  // A stream that is no file (standard output): written, never read; a CSV header at once, without
  // the mark a spreadsheet needs.
  bool OpenStream(std::unique_ptr<RecordFileHandle> stream);
  bool IsOpen() const { return file_ != nullptr; }

  // Under the file's lock, after a look at its end: an empty CSV file gets its header first, a file
  // whose end is not a whole line a line end, and a path that names another file now (rotated,
  // deleted) is opened again; the record is synced, or cut back off when it could not be written
  // whole. The first failure is kept (Error(), the system's code) and every later append refused.
  bool Append(const ReadingRecord& record);
  int Error() const { return error_; }

  // A CSV file whose header is none of ours, and that header (its first line, or all of it).
  bool Foreign() const { return foreign_; }
  const std::string& ForeignHeader() const { return foreignHeader_; }

 private:
  bool ReadBack(const SeenRecord& seen);
  bool ForeignLine(const std::string& line);
  bool Reopen();
  bool WriteLine(const std::string& line);
  std::string LineEnd() const { return format_ == Csv ? "\r\n" : "\n"; }

  RecordFiles& files_;
  Format format_;
  CsvShape shape_;
  std::unique_ptr<RecordFileHandle> file_;
  std::string path_;
  int error_ = 0;
  bool foreign_ = false;
  std::string foreignHeader_;
};
