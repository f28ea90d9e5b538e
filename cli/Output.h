// Where bravelle-cli's words and records go: standard output and error and the files it writes, every
// write checked, so that a result that could not be written is never reported as done.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliPlatform.h"
#include "platform/Clock.h"
#include "record/ReadingRecord.h"
#include "record/RecordReader.h"
#include "record/RepeatMemory.h"

// Exit codes of sysexits.h beside the command's own.
constexpr int kExitUsage = 64;
constexpr int kExitDataError = 65;
constexpr int kExitCannotCreate = 73;
constexpr int kExitWriteFailed = 74;

// Standard output and standard error, shared by the fixtures of a watch. A
// progress line on a terminal is rewritten in place and cleared before any other line.
class Console {
 public:
  Console(CliPlatform& platform, uint32_t language, bool progressShared);
  ~Console();
  // A line and its end, at once on its way; a failure is kept for the exit code.
  void Out(const std::string& line);
  void Err(const std::string& line);
  // A line for a person: standard output, or standard error once records go to standard output.
  void Human(const std::string& line);
  void HumanToError() { humanToError_ = true; }
  // At most four times a second, cut to the terminal's width.
  void Progress(const std::string& text);
  void ClearProgress();
  // The standard output's first failure (errno), 0 when every write went through.
  int OutError();
  // Records written to standard output through a file handle fail there.
  void NoteOutError(int error);
  uint32_t Language() const { return language_; }
  std::string FileErrorText(int error) { return platform_.FileErrorText(error); }

 private:
  void ClearLocked();
  CliPlatform& platform_;
  std::mutex mutex_;
  uint32_t language_;
  bool progress_;
  bool humanToError_ = false;
  size_t width_ = 0;
  Stopwatch sinceProgress_;  // since the progress line was last drawn
  int outError_ = 0;
};

// A file the command writes: a trace, a log, a CSV file; "-" is standard output (standard error for a
// trace). A record is appended under the file's lock, after a look at its end: an empty CSV file gets
// its header first, a file whose end is not a whole line a line end, a path that names another file
// now (rotated, deleted) is opened again; a failed append is cut back off. The first failure is kept
// and told once.
class OutputFile {
 public:
  enum Kind { Trace, JsonLines, Csv };
  OutputFile(CliPlatform& platform, Console& console, Kind kind, char separator = ',');
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the file cannot be created or opened (Error()), or is a CSV file of another shape
  // (Foreign()). Interrupted by a stop, for a FIFO nobody reads.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // One whole line of a trace (its end added).
  bool WriteLine(const std::string& line);
  bool AppendRecord(const ReadingRecord& record);
  int Error() const { return error_; }
  // A CSV file whose header is none of ours: what differs, for a person; empty otherwise.
  const std::string& Foreign() const { return foreign_; }
  const std::string& Path() const { return path_; }
  Kind KindOf() const { return kind_; }
  // The records of the file when opened (a regular file only: a pipe, FIFO or terminal is written, never
  // read).
  const RepeatMemory& PreviousSerials() const { return previous_; }

 private:
  bool ReadPrevious();
  void NotePrevious(RecordSeen& seen);
  bool Reopen();
  CliPlatform& platform_;
  Console& console_;
  Kind kind_;
  CsvShape shape_;
  std::unique_ptr<RecordFileHandle> file_;
  bool standard_ = false;
  std::string path_;
  int error_ = 0;
  std::string foreign_;
  RepeatMemory previous_;
  std::vector<std::pair<std::string, std::string>> canonical_;  // earlier records' ports, their one name
};

// Tells the failure on standard error and gives the exit code for it (74), or 0 when all went well.
int ReportWriteFailures(Console& console, std::initializer_list<const OutputFile*> files);
// "cannot create the log units.jsonl: Permission denied", and its exit code (73); for a CSV file of
// another shape what differs, and 65.
int ReportCannotCreate(Console& console, const OutputFile& file, CliPlatform& platform);
