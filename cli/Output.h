// Where bravelle-cli's words and records go: standard output and error and the files it writes, every
// write checked, so that a result that could not be written is never reported as done.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>

#include "cli/CliPlatform.h"
#include "record/ReadingRecord.h"

// Exit codes of sysexits.h beside the command's own.
constexpr int kExitUsage = 64;
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
  void Progress(const std::string& text);
  void ClearProgress();
  // The standard output's first failure (errno), 0 when every write went through.
  int OutError();
  uint32_t Language() const { return language_; }

 private:
  void ClearLocked();
  std::mutex mutex_;
  uint32_t language_;
  bool progress_;
  size_t width_ = 0;
  int outError_ = 0;
};

// A file the command writes: a trace, a log, a CSV file. Opened for appending
// (a trace from its start); the first failure is kept and told once.
class OutputFile {
 public:
  enum Kind { Trace, JsonLines, Csv };
  OutputFile(CliPlatform& platform, Kind kind);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False with errno when the file cannot be created or opened. "-" is standard
  // error (traces only). Interrupted by a stop, for a FIFO nobody reads.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // One whole line (its end added), flushed; a record also synced to the disk.
  bool WriteLine(const std::string& line);
  bool AppendRecord(const ReadingRecord& record);
  int Error() const { return error_; }
  const std::string& Path() const { return path_; }
  Kind KindOf() const { return kind_; }
  // The serial number of the last record of each port the file held when opened
  // (a regular file only: a pipe, FIFO or terminal is written, never read).
  const RepeatMemory& PreviousSerials() const { return previous_; }

 private:
  void ReadPrevious();
  CliPlatform& platform_;
  Kind kind_;
  std::FILE* file_ = nullptr;
  bool own_ = false;
  bool header_ = false;  // a CSV file still needs its header line
  std::string path_;
  int error_ = 0;
  RepeatMemory previous_;
};

// Tells the failure on standard error and gives the exit code for it (74), or 0 when all went well.
int ReportWriteFailures(Console& console, std::initializer_list<const OutputFile*> files);
// "cannot create the log units.jsonl: Permission denied", and its exit code (73).
int ReportCannotCreate(Console& console, const OutputFile& file, CliPlatform& platform);
