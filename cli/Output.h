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

#include "cli/CliProcess.h"
#include "cli/PortNaming.h"
#include "platform/Clock.h"
#include "platform/RecordFile.h"
#include "record/ReadingRecord.h"
#include "record/RecordFile.h"
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
  Console(CliProcess& process, uint32_t language, bool progressShared);
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

 private:
  void ClearLocked();
  CliProcess& process_;
  std::mutex mutex_;
  uint32_t language_;
  bool progress_;
  bool humanToError_ = false;
  size_t width_ = 0;
  Stopwatch sinceProgress_;  // since the progress line was last drawn
  int outError_ = 0;
};

// A file the command writes: a trace, a log, a CSV file; "-" is standard output (standard error for a
// trace). A trace is written from its start, line by line; a log or CSV file is a RecordFile, each
// record appended whole under the file's lock, and the records it held when opened are remembered by
// their ports' one names. The first failure is kept and told once.
class OutputFile {
 public:
  enum Kind { Trace, JsonLines, Csv };
  OutputFile(RecordFiles& files, PortNaming& naming, Console& console, Kind kind, char separator = ',');
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the file cannot be created or opened (Error()), or is a CSV file of another shape
  // (Foreign()). Interrupted by a stop, for a FIFO nobody reads.
  bool Open(const std::string& path);
  bool IsOpen() const { return kind_ == Trace ? trace_ != nullptr : records_.IsOpen(); }
  // One whole line of a trace (its end added).
  bool WriteLine(const std::string& line);
  bool AppendRecord(const ReadingRecord& record);
  int Error() const { return kind_ == Trace ? error_ : records_.Error(); }
  // The system's words for Error().
  std::string ErrorText() const { return files_.ErrorText(Error()); }
  // A CSV file whose header is none of ours: what differs, for a person; empty otherwise.
  const std::string& Foreign() const { return foreign_; }
  const std::string& Path() const { return path_; }
  Kind KindOf() const { return kind_; }
  // The records of the file when opened (a regular file only: a pipe, FIFO or terminal is written, never
  // read).
  const RepeatMemory& PreviousSerials() const { return previous_; }

 private:
  bool OpenTrace(const std::string& path);
  void NotePrevious(RecordSeen& seen);
  RecordFiles& files_;
  PortNaming& naming_;
  Console& console_;
  Kind kind_;
  std::unique_ptr<RecordFileHandle> trace_;  // a trace's file
  int error_ = 0;                            // a trace's first failure
  RecordFile records_;                       // a log's or CSV file's
  std::string path_;
  std::string foreign_;
  RepeatMemory previous_;
  std::vector<std::pair<std::string, std::string>> canonical_;  // earlier records' ports, their one name
};

// Tells the failure on standard error and gives the exit code for it (74), or 0 when all went well.
int ReportWriteFailures(Console& console, std::initializer_list<const OutputFile*> files);
// "cannot create the log units.jsonl: Permission denied", and its exit code (73); for a CSV file of
// another shape what differs, and 65.
int ReportCannotCreate(Console& console, const OutputFile& file);
