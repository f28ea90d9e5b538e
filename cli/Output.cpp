// Checked writing of lines and records.
#include "cli/Output.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "record/RecordCodec.h"
#include "text/CommandLineTexts.h"
#include "text/Format.h"
#include "text/Utf8.h"

namespace {

int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

// The text cut to a number of display columns: one per character (UTF-8 sequences count once).
std::string FitColumns(const std::string& text, size_t columns, size_t& used) {
  used = 0;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (used == columns) break;
    ++used;
  }
  return text.substr(0, i);
}

// What differs between another program's header and ours, for a person.
std::string HeaderDifference(std::string line, uint32_t language) {
  if (line.compare(0, 3, kUtf8Mark) == 0) line = line.substr(3);
  size_t commas = 0, semicolons = 0;
  for (char c : line) {
    commas += c == ',';
    semicolons += c == ';';
  }
  const char separator = semicolons > commas ? ';' : ',';
  const std::vector<std::string> theirs = CsvFields(line, separator);
  const std::vector<std::string> ours = CsvFields(CsvHeader(separator), separator);
  for (size_t i = 0; i < theirs.size() && i < ours.size(); ++i)
    if (theirs[i] != ours[i])
      return Say(TXT_CLI_HEADER_COLUMN, language, static_cast<int>(i + 1), ValidUtf8(theirs[i]).c_str(),
                 ours[i].c_str());
  return Say(TXT_CLI_HEADER_COUNT, language, static_cast<int>(theirs.size()), static_cast<int>(ours.size()));
}

}  // namespace

Console::Console(CliPlatform& platform, uint32_t language, bool progressShared)
    : platform_(platform), language_(language), progress_(!progressShared && platform.IsTerminal(stderr)) {}

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

void Console::Human(const std::string& line) {
  if (humanToError_) {
    Err(line);
  } else {
    Out(line);
  }
}

void Console::Progress(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!progress_) return;
  // A terminal rewritten more often than a person reads only flickers, and costs a watch its time.
  if (width_ != 0 && sinceProgress_.ElapsedMs() < 250) return;
  sinceProgress_.Restart();
  // One column short of the width: a line that fills it wraps on some terminals.
  const int columns = platform_.TerminalColumns();
  size_t used = 0;
  const std::string fitted = FitColumns(text, columns > 1 ? static_cast<size_t>(columns - 1) : 79, used);
  std::string line = "\r" + fitted;
  if (used < width_) line += std::string(width_ - used, ' ');
  width_ = used;
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

void Console::NoteOutError(int error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (outError_ == 0) outError_ = error;
}

OutputFile::OutputFile(CliPlatform& platform, Console& console, Kind kind, char separator)
    : platform_(platform), console_(console), kind_(kind) {
  shape_.Separator = separator;
}

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  if (path == "-") {
    // A trace beside the records, or the records alone: the person's lines make way.
    file_ = platform_.StandardStream(kind_ == Trace ? 2 : 1);
    standard_ = true;
    if (kind_ != Trace) console_.HumanToError();
    // A stream is no file a spreadsheet opens: no mark.
    shape_.Mark = false;
    return kind_ != Csv || WriteLine(CsvHeader(shape_.Separator));
  }
  int error = 0;
  file_ = platform_.OpenRecordFile(path, kind_ == Trace, error);
  if (file_ == nullptr) {
    error_ = error != 0 ? error : EIO;
    return false;
  }
  if (kind_ == Trace) return true;
  if (!file_->Regular()) return kind_ != Csv || WriteLine(CsvHeader(shape_.Separator));
  if (!file_->Lock()) {
    error_ = file_->Error();
    file_.reset();
    return false;
  }
  const bool ours = ReadPrevious();
  file_->Unlock();
  if (!ours) file_.reset();
  return ours;
}

bool OutputFile::ReadPrevious() {
  const int64_t size = file_->Size();
  std::string bytes;
  if (size > 0 && !file_->ReadAt(0, static_cast<size_t>(size), bytes)) return true;
  size_t start = 0;
  bool first = true;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    // The last line without its end is a record cut short: no record.
    if (end == std::string::npos) break;
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (kind_ == JsonLines) {
      RecordSeen seen;
      if (ParseRecordLine(line, seen)) NotePrevious(seen);
    } else if (first) {
      // The file keeps its own separator, mark and columns; another program's file is left alone.
      if (!ParseCsvHeader(line, shape_)) {
        foreign_ = HeaderDifference(line, console_.Language());
        return false;
      }
    } else {
      RecordSeen seen;
      if (ParseCsvRecord(line, shape_, seen)) NotePrevious(seen);
    }
    first = false;
    start = end + 1;
  }
  if (kind_ == Csv && first && !bytes.empty() && bytes.find_first_not_of('\0') != std::string::npos) {
    // A header line without its end is somebody else's line too, unless it is ours cut short.
    CsvShape shape;
    if (!ParseCsvHeader(bytes, shape)) {
      foreign_ = HeaderDifference(bytes, console_.Language());
      return false;
    }
  }
  return true;
}

void OutputFile::NotePrevious(RecordSeen& seen) {
  // An earlier record may name its port by a link or another spelling: it counts by the port's one name.
  size_t known = 0;
  while (known < canonical_.size() && canonical_[known].first != seen.Port) ++known;
  if (known == canonical_.size()) canonical_.emplace_back(seen.Port, platform_.CanonicalPort(seen.Port));
  seen.Port = canonical_[known].second;
  previous_.Note(seen);
}

bool OutputFile::WriteLine(const std::string& line) {
  if (file_ == nullptr || error_ != 0) return false;
  if (!file_->Append(line + (kind_ == Csv ? "\r\n" : "\n"))) {
    error_ = file_->Error();
    return false;
  }
  return true;
}

bool OutputFile::Reopen() {
  int error = 0;
  std::unique_ptr<RecordFileHandle> fresh = platform_.OpenRecordFile(path_, false, error);
  if (fresh == nullptr || !fresh->Lock()) {
    error_ = fresh == nullptr ? (error != 0 ? error : EIO) : fresh->Error();
    return false;
  }
  file_->Unlock();
  file_ = std::move(fresh);
  return true;
}

bool OutputFile::AppendRecord(const ReadingRecord& record) {
  if (file_ == nullptr || error_ != 0) return false;
  const std::string end = kind_ == Csv ? "\r\n" : "\n";
  const std::string line =
      kind_ == Csv ? RecordCsv(record, shape_.Separator, shape_.Schema) : RecordJson(record);
  if (!file_->Regular()) return WriteLine(line);
  if (!file_->Lock()) {
    error_ = file_->Error();
    return false;
  }
  // Renamed by a rotation or deleted: the records go on under the name the user gave.
  if (!file_->StillNamed() && !Reopen()) return false;
  const int64_t size = file_->Size();
  std::string text;
  std::string tail;
  if (size < 0) {
    error_ = file_->Error();
    file_->Unlock();
    return false;
  }
  // A file this account may only write cannot be looked at: its end is taken as whole.
  if (size > 0 && !file_->ReadAt(size - 1, 1, tail)) tail = "\n";
  if (size == 0 && kind_ == Csv) {
    // New, or emptied under us (copytruncate): the header again, in the file's own shape.
    text = (shape_.Mark ? kUtf8Mark : "") + CsvHeader(shape_.Separator, shape_.Schema) + end;
  } else if (size > 0 && tail != "\n") {
    // What a power cut left (half a line, NUL bytes) stays on a line of its own.
    text = end;
  }
  text += line + end;
  bool done = file_->Append(text);
  // A disk that filled up took part of it: the file is cut back, so every line stays whole.
  if (done) done = file_->Sync();
  if (!done) {
    error_ = file_->Error();
    file_->Truncate(size);
  }
  file_->Unlock();
  return done;
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
    const std::string what = f->Path() == "-"
                                 ? Say(TXT_CLI_STANDARD_OUTPUT, language)
                                 : Say(Naming(f->KindOf()), language, ValidUtf8(f->Path()).c_str());
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language, what.c_str(), console.FileErrorText(f->Error()).c_str()));
    code = kExitWriteFailed;
  }
  if (const int error = console.OutError()) {
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language, Say(TXT_CLI_STANDARD_OUTPUT, language).c_str(),
                    std::strerror(error)));
    code = kExitWriteFailed;
  }
  return code;
}

int ReportCannotCreate(Console& console, const OutputFile& file, CliPlatform& platform) {
  const uint32_t language = console.Language();
  if (!file.Foreign().empty()) {
    console.Err(Say(TXT_CLI_FOREIGN_CSV, language, ValidUtf8(file.Path()).c_str(), file.Foreign().c_str()));
    return kExitDataError;
  }
  console.Err(Say(TXT_CLI_CANNOT_CREATE, language, ValidUtf8(file.Path()).c_str(),
                  platform.FileErrorText(file.Error()).c_str()));
  return kExitCannotCreate;
}
