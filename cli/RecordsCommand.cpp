// bravelle-cli records: the matching records of journals in time order, so that journals copied
// together from the line's PCs answer "where and when was this unit read" without a database. Each
// journal is read as a stream and the streams merged: no file is held whole.
#include <map>
#include <memory>

#include "cli/Commands.h"
#include "record/RecordCodec.h"
#include "record/RecordLine.h"
#include "record/RecordTexts.h"
#include "text/Utf8.h"

namespace {

constexpr size_t kReadBytes = 1 << 20;
// A journal is in the order its records were appended, and a record is appended once its unit is
// let go: a record may follow one that began up to a reading's length after it. Each journal is read
// this far ahead of the record it gives next.
constexpr int64_t kLookAheadMs = 60000;
constexpr size_t kMostAhead = 200000;

// "2026-12-09T18:18:09.015Z" in milliseconds since 1970; -1 for any other text.
int64_t TimeMs(const std::string& t) {
  const char* shape = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (t.size() != 24) return -1;
  for (size_t i = 0; i < 24; ++i)
    if (shape[i] == 'd' ? (t[i] < '0' || t[i] > '9') : t[i] != shape[i]) return -1;
  auto n = [&](size_t at, size_t count) { return std::stoll(t.substr(at, count)); };
  int64_t y = n(0, 4);
  const int64_t m = n(5, 2), d = n(8, 2);
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 719468;
  return ((days * 24 + n(11, 2)) * 60 + n(14, 2)) * 60000 + n(17, 2) * 1000 + n(20, 3);
}

struct Record {
  std::string Line;
  std::vector<RecordField> Fields;
};

// One journal read a chunk at a time, its records kept in time order as far ahead as the merge needs.
class Source {
 public:
  Source(std::unique_ptr<RecordFileHandle> file, const CliOptions& options)
      : file_(std::move(file)), options_(options) {}

  // Whether it has a record left, read far enough ahead that none of its later ones is earlier.
  bool Next() {
    while (!done_ &&
           (ahead_.empty() || (newest_ - ahead_.begin()->first < kLookAheadMs && ahead_.size() < kMostAhead)))
      Read();
    return !ahead_.empty();
  }
  int64_t EarliestMs() const { return ahead_.begin()->first; }
  Record Take() {
    Record r = std::move(ahead_.begin()->second);
    ahead_.erase(ahead_.begin());
    return r;
  }

 private:
  void Read() {
    std::string bytes;
    const int64_t size = file_->Size();
    if (offset_ >= size || !file_->ReadAt(offset_, kReadBytes, bytes) || bytes.empty()) {
      done_ = true;
      return;
    }
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start)) {
      Take(bytes.substr(start, end - start));
      start = end + 1;
    }
    // A line longer than a chunk is no record of ours: passed over.
    if (start == 0) start = bytes.size();
    offset_ += static_cast<int64_t>(start);
  }

  void Take(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Record r;
    if (!ParseRecordFields(line, r.Fields) || !Matches(r.Fields)) return;
    const RecordField* time = FindField(r.Fields, "time");
    const int64_t ms = time != nullptr ? TimeMs(time->Value) : -1;
    if (ms < 0) return;
    newest_ = std::max(newest_, ms);
    r.Line = std::move(line);
    ahead_.emplace(ms, std::move(r));
  }

  bool Matches(const std::vector<RecordField>& fields) const {
    auto is = [&](const char* name, const std::string& wanted) {
      if (wanted.empty()) return true;
      const RecordField* f = FindField(fields, name);
      return f != nullptr && f->Value == wanted;
    };
    if (!is("station", options_.Station) || !is("fixture", options_.FixtureFilter)) return false;
    if (!options_.Serial.empty()) {
      const RecordField* f = FindField(fields, "serial");
      if (f == nullptr ||
          std::strtoull(f->Value.c_str(), nullptr, 10) != std::strtoull(options_.Serial.c_str(), nullptr, 10))
        return false;
    }
    if (!options_.Since.empty()) {
      const RecordField* f = FindField(fields, "time");
      // Both UTC in one spelling: their order is their texts'.
      if (f == nullptr || f->Value.compare(0, options_.Since.size(), options_.Since) < 0) return false;
    }
    return true;
  }

  std::unique_ptr<RecordFileHandle> file_;
  const CliOptions& options_;
  int64_t offset_ = 0;
  bool done_ = false;
  int64_t newest_ = 0;
  std::multimap<int64_t, Record> ahead_;
};

// One line for a person: time, station, fixture, port, outcome, then the values read.
std::string HumanLine(const std::vector<RecordField>& fields, uint32_t language) {
  std::string line;
  for (const char* name : {"time", "station", "fixture", "port", "outcome", "serial_text"}) {
    const RecordField* f = FindField(fields, name);
    if (f != nullptr) line += (line.empty() ? "" : "  ") + FieldText(*f);
  }
  if (const RecordField* f = FindField(fields, "circuit"))
    line += "  " + Say(TXT_REC_LINE_CIRCUIT, language, std::atoi(f->Value.c_str()));
  if (const RecordField* f = FindField(fields, "software"))
    line += "  " + Say(TXT_REC_LINE_SOFTWARE, language, FieldText(*f).c_str());
  return line;
}

}  // namespace

int RunRecords(CliContext& cx) {
  std::vector<std::unique_ptr<Source>> sources;
  for (const std::string& path : cx.Options.Files) {
    int error = 0;
    std::unique_ptr<RecordFileHandle> file = cx.Files.OpenToRead(path, error);
    if (!file) {
      cx.Terminal.Err(Say(TXT_CLI_SHIP_NO_JOURNAL, cx.Language, ValidUtf8(path).c_str(),
                          cx.Files.ErrorText(error).c_str()));
      return 66;
    }
    sources.push_back(std::make_unique<Source>(std::move(file), cx.Options));
  }
  // CRLF line ends, as in a CSV file of ours.
  if (cx.Options.RecordsCsv) cx.Terminal.Out(CsvHeader(',') + "\r");
  for (;;) {
    Source* earliest = nullptr;
    for (const std::unique_ptr<Source>& s : sources)
      if (s->Next() && (earliest == nullptr || s->EarliestMs() < earliest->EarliestMs())) earliest = s.get();
    if (earliest == nullptr) break;
    Record r = earliest->Take();
    if (cx.Options.Json) {
      cx.Terminal.Out(r.Line);
    } else if (cx.Options.RecordsCsv) {
      // Every row in today's columns: the schema field names the columns, as in a CSV file we write.
      r.Fields[0].Value = std::to_string(kRecordSchema);
      cx.Terminal.Out(FieldsCsv(r.Fields, ',') + "\r");
    } else {
      cx.Terminal.Out(HumanLine(r.Fields, cx.Language));
    }
    if (cx.Terminal.OutError() != 0) break;
  }
  return ReportWriteFailures(cx.Terminal, {});
}
