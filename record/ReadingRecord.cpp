// The record of a reading: JSON line, CSV row, error names, human lines and messages.
#include "record/ReadingRecord.h"

#include <cstdlib>

#include "record/RecordTexts.h"
#include "text/Format.h"
#include "text/Utf8.h"

const char* OutcomeName(ReadingOutcome outcome) {
  switch (outcome) {
    case ReadingOutcome::Ok:
      return "ok";
    case ReadingOutcome::WrongUnit:
      return "wrong-unit";
    case ReadingOutcome::NoAnswer:
      return "no-answer";
    case ReadingOutcome::LinkLost:
      return "link-lost";
    case ReadingOutcome::PortError:
      return "port-error";
    case ReadingOutcome::Interrupted:
      return "interrupted";
  }
  return "port-error";
}

const char* RecordOutcomeName(const ReadingRecord& record) {
  return record.Rejected != ReadingRecord::Rejection::None ? "rejected" : OutcomeName(record.Reading.Outcome);
}

std::string ErrorName(const ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  if (record.Rejected == ReadingRecord::Rejection::Software) return "unexpected-software";
  if (record.Rejected == ReadingRecord::Rejection::Circuit) return "unexpected-circuit";
  if (r.Outcome == ReadingOutcome::NoAnswer && r.Refused) return "refused";
  switch (r.Outcome) {
    case ReadingOutcome::Ok:
      return std::string();
    case ReadingOutcome::LinkLost:
      // Characters that are no hexadecimal digits: noise, a wrong rate or another device, not silence.
      return r.Status == COMERR_BAD_REPLY ? "bad-reply" : "link-lost";
    case ReadingOutcome::PortError:
      switch (record.Problem) {
        case PortProblem::Busy:
          return "port-busy";
        case PortProblem::Missing:
          return "port-missing";
        case PortProblem::Permission:
          return "permission";
        case PortProblem::NotSerial:
          return "not-a-serial-port";
        case PortProblem::NoneToChoose:
          return "no-port";
        case PortProblem::Ambiguous:
          return "ambiguous-port";
        case PortProblem::ListUnreadable:
          return "port-list-unreadable";
        default:
          return "port-error";
      }
    default:
      return OutcomeName(r.Outcome);
  }
}

std::string JsonString(const std::string& text, bool latin1) {
  std::string out = "\"";
  for (unsigned char c : latin1 ? text : ValidUtf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || (latin1 && c >= 0x80)) {
      out += Format("\\u%04x", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string IsoTime(int64_t unixMs) {
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm): no
  // gmtime, whose thread-safe variant differs between the systems.
  int64_t days = unixMs >= 0 ? unixMs / 86400000 : (unixMs - 86399999) / 86400000;
  const int64_t msOfDay = unixMs - days * 86400000;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return Format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(msOfDay / 3600000), static_cast<long long>(msOfDay / 60000 % 60),
                static_cast<long long>(msOfDay / 1000 % 60), static_cast<long long>(msOfDay % 1000));
}

std::string SerialText(uint32_t serial) { return Format("%010lu", static_cast<unsigned long>(serial)); }

std::string SoftwareText(const UnitReading& r) {
  return std::to_string(r.SoftwareMajor) + "." + std::to_string(r.SoftwareMinor);
}

std::string PrintableType(const std::string& type) {
  std::string out;
  for (unsigned char c : type) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02X", c);
    }
  }
  return out;
}

namespace {

// The record's fields in their order, as text: JSON and CSV are two spellings of the same list. A
// field belongs to the schemas from Since on.
struct Field {
  const char* Name;
  bool Present;
  std::string Value;
  enum Kind { Number, Text, Bytes, Flag } Type;
  int Since;
};

std::vector<Field> Fields(const ReadingRecord& record, int schema) {
  const UnitReading& r = record.Reading;
  const bool failed = r.Outcome != ReadingOutcome::Ok || record.Rejected != ReadingRecord::Rejection::None;
  return {
      {"schema", true, std::to_string(schema), Field::Number, 1},
      {"outcome", true, RecordOutcomeName(record), Field::Text, 1},
      {"error", failed, ErrorName(record), Field::Text, 1},
      {"message", failed && !record.Message.empty(), record.Message, Field::Text, 1},
      {"fixture", !record.Fixture.empty(), record.Fixture, Field::Text, 2},
      {"port", !record.Port.empty(), record.Port, Field::Text, 1},
      {"location", !record.Location.empty(), record.Location, Field::Text, 1},
      {"type", r.HasType, r.Type, Field::Bytes, 1},
      {"serial", r.HasSerial, std::to_string(r.Serial), Field::Number, 1},
      {"serial_text", r.HasSerial, SerialText(r.Serial), Field::Text, 1},
      {"circuit", r.HasCircuit, std::to_string(r.Circuit), Field::Number, 1},
      {"software", r.HasSoftware, SoftwareText(r), Field::Text, 1},
      {"status", r.HasStatus, std::to_string(r.Status), Field::Number, 1},
      {"elapsed_ms", true, std::to_string(record.ElapsedMs), Field::Number, 1},
      {"time", true, IsoTime(record.StartUnixMs), Field::Text, 1},
      {"repeat", record.Repeat, "true", Field::Flag, 1},
      {"duplicate", record.Duplicate, "true", Field::Flag, 2},
  };
}

std::string CsvField(const std::string& text, char separator) {
  if (text.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The value of a text field of a JSON line this program wrote, escapes taken as the character they stand
// for; empty when the line has none.
std::string JsonTextField(const std::string& line, const std::string& name) {
  std::string value;
  const std::string key = ",\"" + name + "\":\"";
  const size_t at = line.find(key);
  if (at == std::string::npos) return value;
  for (size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;  // an escaped character counts as itself
    value += line[i];
  }
  return value;
}

std::string Place(const std::string& fixture, const std::string& port) {
  return fixture.empty() ? "port " + port : "fixture " + fixture;
}

bool ParseByte(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 3) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= 255;
}

}  // namespace

std::string RecordJson(const ReadingRecord& record) {
  std::string out = "{";
  for (const Field& f : Fields(record, kRecordSchema)) {
    if (!f.Present) continue;
    if (out.size() > 1) out += ",";
    out += JsonString(f.Name) + ":";
    out += f.Type == Field::Text || f.Type == Field::Bytes ? JsonString(f.Value, f.Type == Field::Bytes)
                                                           : f.Value;
  }
  return out + "}";
}

std::string CsvHeader(char separator, int schema) {
  std::string out;
  for (const Field& f : Fields(ReadingRecord(), schema))
    if (f.Since <= schema) out += (out.empty() ? "" : std::string(1, separator)) + f.Name;
  return out;
}

std::string RecordCsv(const ReadingRecord& record, char separator, int schema) {
  std::string out;
  bool first = true;
  for (const Field& f : Fields(record, schema)) {
    if (f.Since > schema) continue;
    if (!first) out += separator;
    first = false;
    if (f.Type == Field::Flag) {
      out += f.Present ? "true" : "false";
    } else if (f.Present) {
      // The unit's bytes as they can be read; every other text made valid UTF-8.
      out += CsvField(f.Type == Field::Bytes ? PrintableType(f.Value) : ValidUtf8(f.Value), separator);
    }
  }
  return out;
}

bool ParseCsvHeader(const std::string& line, CsvShape& shape) {
  const bool mark = line.compare(0, 3, kUtf8Mark) == 0;
  const std::string header = mark ? line.substr(3) : line;
  for (int schema = 1; schema <= kRecordSchema; ++schema) {
    for (char separator : {',', ';'}) {
      if (header != CsvHeader(separator, schema)) continue;
      shape.Separator = separator;
      shape.Schema = schema;
      shape.Mark = mark;
      return true;
    }
  }
  return false;
}

std::vector<std::string> CsvFields(const std::string& line, char separator) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == separator) {
      fields.emplace_back();
    } else if (c != '\r' && c != '\n') {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::string> RecordLines(const ReadingRecord& record, uint32_t language) {
  const UnitReading& r = record.Reading;
  std::vector<std::string> lines;
  if (!record.Port.empty()) lines.push_back(Say(TXT_REC_LINE_PORT, language, ValidUtf8(record.Port).c_str()));
  if (r.HasType)
    lines.push_back(Say(TXT_REC_LINE_UNIT, language, Utf8FromCp1252(GetDeviceName()).c_str(),
                        PrintableType(r.Type).c_str()));
  if (r.HasSerial) lines.push_back(Say(TXT_REC_LINE_SERIAL, language, SerialText(r.Serial).c_str()));
  if (r.HasCircuit) lines.push_back(Say(TXT_REC_LINE_CIRCUIT, language, static_cast<int>(r.Circuit)));
  if (r.HasSoftware) lines.push_back(Say(TXT_REC_LINE_SOFTWARE, language, SoftwareText(r).c_str()));
  return lines;
}

std::string WaitingText(uint32_t language, const std::string& port, int64_t ms, int32_t attempts) {
  return Say(TXT_REC_WAITING, language, ValidUtf8(port).c_str(), static_cast<long long>(ms / 1000),
             static_cast<int>(attempts));
}

std::string FailureMessage(const ReadingRecord& record, int64_t waitMs, uint32_t language) {
  const UnitReading& r = record.Reading;
  const std::string port = ValidUtf8(record.Port);
  const std::string device = Utf8FromCp1252(GetDeviceName());
  switch (r.Outcome) {
    case ReadingOutcome::WrongUnit:
      return Say(TXT_REC_WRONG_UNIT, language, port.c_str(), PrintableType(r.Type).c_str(), device.c_str());
    case ReadingOutcome::NoAnswer:
      if (r.Refused) return Say(TXT_REC_REFUSED, language, port.c_str());
      return Say(TXT_REC_NO_ANSWER, language, port.c_str(),
                 Format("%g", static_cast<double>(waitMs) / 1000).c_str());
    case ReadingOutcome::LinkLost:
      return Say(r.Status == COMERR_BAD_REPLY ? TXT_REC_BAD_REPLY : TXT_REC_LINK_LOST, language,
                 static_cast<int>(r.Status));
    case ReadingOutcome::Interrupted:
      return Say(TXT_REC_INTERRUPTED, language);
    default:
      return std::string();
  }
}

bool ParseRecordLine(const std::string& line, RecordSeen& seen) {
  // Only the program's own records, these and those of its versions before the
  // schema: they name their port before any text a unit or a person could have put in.
  if (line.compare(0, 10, "{\"schema\":") != 0 && line.compare(0, 11, "{\"outcome\":") != 0) return false;
  // A line cut short (a power cut, a full disk) is no record.
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  if (end == 0 || line[end - 1] != '}') return false;
  seen = RecordSeen();
  seen.Fixture = JsonTextField(line, "fixture");
  seen.Port = JsonTextField(line, "port");
  const size_t s = line.find(",\"serial\":");
  if (s != std::string::npos) {
    char* stop = nullptr;
    const unsigned long long value = std::strtoull(line.c_str() + s + 10, &stop, 10);
    if (stop != line.c_str() + s + 10 && value <= 0xFFFFFFFFull) {
      seen.HasSerial = true;
      seen.Serial = static_cast<uint32_t>(value);
    }
  }
  return true;
}

bool ParseRecordLine(const std::string& line, std::string& port, bool& hasSerial, uint32_t& serial) {
  RecordSeen seen;
  hasSerial = false;
  port.clear();
  if (!ParseRecordLine(line, seen)) return false;
  port = seen.Port;
  hasSerial = seen.HasSerial;
  if (seen.HasSerial) serial = seen.Serial;
  return true;
}

bool ParseCsvRecord(const std::string& line, const CsvShape& shape, RecordSeen& seen) {
  const std::vector<std::string> names = CsvFields(CsvHeader(shape.Separator, shape.Schema), shape.Separator);
  const std::vector<std::string> fields = CsvFields(line, shape.Separator);
  // A row cut short has fewer fields; a row of another program's, other ones.
  if (fields.size() != names.size() || fields[0] != std::to_string(shape.Schema)) return false;
  seen = RecordSeen();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == "fixture") seen.Fixture = fields[i];
    if (names[i] == "port") seen.Port = fields[i];
    if (names[i] == "serial" && !fields[i].empty()) {
      char* stop = nullptr;
      const unsigned long long value = std::strtoull(fields[i].c_str(), &stop, 10);
      if (*stop == '\0' && value <= 0xFFFFFFFFull) {
        seen.HasSerial = true;
        seen.Serial = static_cast<uint32_t>(value);
      }
    }
  }
  return true;
}

void RepeatMemory::NoteLine(const std::string& jsonLine) {
  RecordSeen seen;
  if (ParseRecordLine(jsonLine, seen)) Note(seen);
}

void RepeatMemory::NoteCsvRow(const std::string& row, const CsvShape& shape) {
  RecordSeen seen;
  if (ParseCsvRecord(row, shape, seen)) Note(seen);
}

void RepeatMemory::Note(const RecordSeen& seen) {
  if (!seen.HasSerial) return;
  const std::string place = Place(seen.Fixture, seen.Port);
  last_[place] = seen.Serial;
  placeOf_[seen.Serial] = place;
}

void RepeatMemory::Note(const std::string& port, uint32_t serial) {
  RecordSeen seen;
  seen.Port = port;
  seen.HasSerial = true;
  seen.Serial = serial;
  Note(seen);
}

void RepeatMemory::Merge(const RepeatMemory& other) {
  for (const auto& [place, serial] : other.last_) last_[place] = serial;
  for (const auto& [serial, place] : other.placeOf_) placeOf_[serial] = place;
}

void RepeatMemory::Alias(const std::string& givenPort, const std::string& canonicalPort) {
  const std::string from = Place(std::string(), givenPort);
  const std::string to = Place(std::string(), canonicalPort);
  if (from == to) return;
  const auto it = last_.find(from);
  // The old name stays: no record of this run carries it.
  if (it != last_.end()) last_.emplace(to, it->second);
  for (auto& [serial, place] : placeOf_)
    if (place == from) place = to;
}

void RepeatMemory::Mark(ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  if (!r.HasSerial) return;
  const std::string place = Place(record.Fixture, record.Port);
  const auto last = last_.find(place);
  record.Repeat = last != last_.end() && last->second == r.Serial;
  const auto seen = placeOf_.find(r.Serial);
  record.Duplicate = seen != placeOf_.end() && seen->second != place;
  last_[place] = r.Serial;
  placeOf_[r.Serial] = place;
}

bool ParseSoftwareVersion(const std::string& text, SoftwareVersion& version) {
  const size_t dot = text.find('.');
  return dot != std::string::npos && ParseByte(text.substr(0, dot), version.Major) &&
         ParseByte(text.substr(dot + 1), version.Minor);
}

bool ParseCircuitVersion(const std::string& text, int32_t& circuit) { return ParseByte(text, circuit); }

bool ApplyExpectations(const Expectations& expected, ReadingRecord& record, uint32_t language) {
  const UnitReading& r = record.Reading;
  if (r.Outcome != ReadingOutcome::Ok) return false;
  auto listed = [language](const std::vector<std::string>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) out += (i == 0 ? "" : Say(TXT_REC_OR, language)) + values[i];
    return out;
  };
  if (!expected.Software.empty()) {
    std::vector<std::string> values;
    bool found = false;
    for (const SoftwareVersion& v : expected.Software) {
      values.push_back(std::to_string(v.Major) + "." + std::to_string(v.Minor));
      found = found || (v.Major == r.SoftwareMajor && v.Minor == r.SoftwareMinor);
    }
    if (!found) {
      record.Rejected = ReadingRecord::Rejection::Software;
      record.Message =
          Say(TXT_REC_UNEXPECTED_SOFTWARE, language, SoftwareText(r).c_str(), listed(values).c_str());
      return true;
    }
  }
  if (!expected.Circuit.empty()) {
    std::vector<std::string> values;
    bool found = false;
    for (int32_t c : expected.Circuit) {
      values.push_back(std::to_string(c));
      found = found || c == r.Circuit;
    }
    if (!found) {
      record.Rejected = ReadingRecord::Rejection::Circuit;
      record.Message = Say(TXT_REC_UNEXPECTED_CIRCUIT, language, std::to_string(r.Circuit).c_str(),
                           listed(values).c_str());
      return true;
    }
  }
  return false;
}
