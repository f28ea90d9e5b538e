// Checked writing of lines and records.
#include "cli/Output.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/CommandLineTexts.h"
#include "text/Utf8.h"

namespace {

int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

Console::Console(CliPlatform& platform, uint32_t language, bool progressShared)
    : language_(language), progress_(!progressShared && platform.IsTerminal(stderr)) {}

Console::~Console() { ClearProgress(); }

void Console::ClearLocked() {
  if (!progress_ || width_ == 0) return;
  std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
  std::fflush(stderr);
  width_ = 0;
}

void Console::Out(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
  errno = 0;
  if ((std::fputs(line.c_str(), stdout) == EOF || std::fputc('\n', stdout) == EOF ||
       std::fflush(stdout) != 0) &&
      outError_ == 0)
    outError_ = ErrnoOr(EIO);
}

void Console::Err(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
  // Nowhere is left to tell a failure of standard error.
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void Console::Progress(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!progress_) return;
  std::string line = "\r" + text;
  if (text.size() < width_) line += std::string(width_ - text.size(), ' ');
  width_ = text.size();
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void Console::ClearProgress() {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
}

int Console::OutError() {
  std::lock_guard<std::mutex> lock(mutex_);
  // What is still buffered must get out too: a full disk shows only here.
  errno = 0;
  if (std::fflush(stdout) != 0 && outError_ == 0) outError_ = ErrnoOr(EIO);
  if (std::ferror(stdout) && outError_ == 0) outError_ = EIO;
  return outError_;
}

OutputFile::OutputFile(CliPlatform& platform, Kind kind) : platform_(platform), kind_(kind) {}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fflush(file_);
  if (own_) std::fclose(file_);
}

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  if (kind_ == Trace && path == "-") {
    file_ = stderr;
    return true;
  }
  errno = 0;
  file_ = std::fopen(path.c_str(), kind_ == Trace ? "wb" : "ab");
  if (file_ == nullptr) {
    error_ = ErrnoOr(EIO);
    return false;
  }
  own_ = true;
  if (kind_ == Trace || !platform_.IsRegularFile(file_)) {
    // A pipe or a FIFO has no earlier records to search and no end to look at.
    header_ = kind_ == Csv;
  } else {
    ReadPrevious();
  }
  // A header that cannot be written is told as a write failure, as a record would be.
  if (header_) WriteLine(CsvHeader());
  header_ = false;
  return true;
}

void OutputFile::ReadPrevious() {
  std::FILE* in = std::fopen(path_.c_str(), "rb");
  if (in == nullptr) return;
  std::string line;
  CsvShape shape;
  bool ours = false;
  bool first = true;
  char buffer[4096];
  bool whole = true;
  while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
    line += buffer;
    whole = !line.empty() && line.back() == '\n';
    if (!whole) continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (kind_ == JsonLines) {
      previous_.NoteLine(line);
    } else if (first) {
      ours = ParseCsvHeader(line, shape);
    } else if (ours) {
      previous_.NoteCsvRow(line, shape);
    }
    first = false;
    line.clear();
  }
  const bool empty = first && line.empty();
  std::fclose(in);
  header_ = kind_ == Csv && empty;
  // A record an earlier run left half-written (a power cut) stays on a line of its own.
  if (!line.empty() && !whole && !WriteLine(std::string())) return;
}

bool OutputFile::WriteLine(const std::string& line) {
  if (file_ == nullptr || error_ != 0) return false;
  const std::string end = kind_ == Csv ? "\r\n" : "\n";
  const std::string text = line + end;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    error_ = ErrnoOr(EIO);
    return false;
  }
  return true;
}

bool OutputFile::AppendRecord(const ReadingRecord& record) {
  if (!WriteLine(kind_ == Csv ? RecordCsv(record) : RecordJson(record))) return false;
  // Down to the disk before the next unit; a pipe has no disk to reach.
  errno = 0;
  if (own_ && platform_.IsRegularFile(file_) && !platform_.SyncToDisk(file_)) {
    error_ = ErrnoOr(EIO);
    return false;
  }
  return true;
}

namespace {

CliText Naming(OutputFile::Kind kind) {
  return kind == OutputFile::Trace ? TXT_CLI_THE_TRACE
         : kind == OutputFile::Csv ? TXT_CLI_THE_CSV
                                   : TXT_CLI_THE_LOG;
}

}  // namespace

int ReportWriteFailures(Console& console, std::initializer_list<const OutputFile*> files) {
  int code = 0;
  const uint32_t language = console.Language();
  for (const OutputFile* f : files) {
    if (f == nullptr || f->Error() == 0) continue;
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language,
                    Say(Naming(f->KindOf()), language, ValidUtf8(f->Path()).c_str()).c_str(),
                    std::strerror(f->Error())));
    code = kExitWriteFailed;
  }
  if (const int error = console.OutError()) {
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language, Say(TXT_CLI_STANDARD_OUTPUT, language).c_str(),
                    std::strerror(error)));
    code = kExitWriteFailed;
  }
  return code;
}

int ReportCannotCreate(Console& console, const OutputFile& file, CliPlatform&) {
  const uint32_t language = console.Language();
  console.Err(
      Say(TXT_CLI_CANNOT_CREATE, language, ValidUtf8(file.Path()).c_str(), std::strerror(file.Error())));
  return kExitCannotCreate;
}
