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

Console::Console(CliProcess& process, uint32_t language, bool progressShared)
    : process_(process), language_(language), progress_(!progressShared && process.IsTerminal(stderr)) {}

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
  const int columns = process_.TerminalColumns();
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

OutputFile::OutputFile(RecordFiles& files, PortNaming& naming, Console& console, Kind kind, char separator)
    : files_(files),
      naming_(naming),
      console_(console),
      kind_(kind),
      records_(files, kind == Csv ? RecordFile::Csv : RecordFile::JsonLines, separator) {}

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  if (kind_ == Trace) return OpenTrace(path);
  if (path == "-") {
    // The records alone on standard output: the person's lines make way.
    console_.HumanToError();
    return records_.OpenStream(files_.StandardStream(1));
  }
  if (records_.Open(path, [this](RecordSeen& seen) { NotePrevious(seen); })) return true;
  if (records_.Foreign()) foreign_ = HeaderDifference(records_.ForeignHeader(), console_.Language());
  return false;
}

bool OutputFile::OpenTrace(const std::string& path) {
  // A trace beside the records: on standard error.
  if (path == "-") {
    trace_ = files_.StandardStream(2);
    return true;
  }
  int error = 0;
  trace_ = files_.Open(path, true, error);
  if (trace_ == nullptr) error_ = error != 0 ? error : EIO;
  return trace_ != nullptr;
}

void OutputFile::NotePrevious(RecordSeen& seen) {
  // An earlier record may name its port by a link or another spelling: it counts by the port's one name.
  size_t known = 0;
  while (known < canonical_.size() && canonical_[known].first != seen.Port) ++known;
  if (known == canonical_.size()) canonical_.emplace_back(seen.Port, naming_.CanonicalPort(seen.Port));
  seen.Port = canonical_[known].second;
  previous_.Note(seen);
}

bool OutputFile::WriteLine(const std::string& line) {
  if (trace_ == nullptr || error_ != 0) return false;
  if (!trace_->Append(line + "\n")) {
    error_ = trace_->Error();
    return false;
  }
  return true;
}

bool OutputFile::AppendRecord(const ReadingRecord& record) { return records_.Append(record); }

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
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language, what.c_str(), f->ErrorText().c_str()));
    code = kExitWriteFailed;
  }
  if (const int error = console.OutError()) {
    console.Err(Say(TXT_CLI_CANNOT_WRITE, language, Say(TXT_CLI_STANDARD_OUTPUT, language).c_str(),
                    std::strerror(error)));
    code = kExitWriteFailed;
  }
  return code;
}

int ReportCannotCreate(Console& console, const OutputFile& file) {
  const uint32_t language = console.Language();
  if (!file.Foreign().empty()) {
    console.Err(Say(TXT_CLI_FOREIGN_CSV, language, ValidUtf8(file.Path()).c_str(), file.Foreign().c_str()));
    return kExitDataError;
  }
  console.Err(Say(TXT_CLI_CANNOT_CREATE, language, ValidUtf8(file.Path()).c_str(), file.ErrorText().c_str()));
  return kExitCannotCreate;
}
