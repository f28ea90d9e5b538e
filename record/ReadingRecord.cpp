// The record of a reading: JSON line, CSV row, error names, human lines and messages.
#include "record/ReadingRecord.h"

#include <cstdlib>

#include "text/CommandLineTexts.h"
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

std::string ErrorName(const ReadingRecord& record) {
  const UnitReading& r = record.Reading;
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

// The record's fields in their order, as text: JSON and CSV are two spellings of the same list.
struct Field {
  const char* Name;
  bool Present;
  std::string Value;
  enum Kind { Number, Text, Bytes, Flag } Type;
};

std::vector<Field> Fields(const ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  const bool failed = r.Outcome != ReadingOutcome::Ok;
  return {
      {"schema", true, std::to_string(kRecordSchema), Field::Number},
      {"outcome", true, OutcomeName(r.Outcome), Field::Text},
      {"error", failed, ErrorName(record), Field::Text},
      {"message", failed && !record.Message.empty(), record.Message, Field::Text},
      {"port", !record.Port.empty(), record.Port, Field::Text},
      {"location", !record.Location.empty(), record.Location, Field::Text},
      {"type", r.HasType, r.Type, Field::Bytes},
      {"serial", r.HasSerial, std::to_string(r.Serial), Field::Number},
      {"serial_text", r.HasSerial, SerialText(r.Serial), Field::Text},
      {"circuit", r.HasCircuit, std::to_string(r.Circuit), Field::Number},
      {"software", r.HasSoftware, SoftwareText(r), Field::Text},
      {"status", r.HasStatus, std::to_string(r.Status), Field::Number},
      {"elapsed_ms", true, std::to_string(record.ElapsedMs), Field::Number},
      {"time", true, IsoTime(record.StartUnixMs), Field::Text},
      {"repeat", record.Repeat, "true", Field::Flag},
  };
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string RecordJson(const ReadingRecord& record) {
  std::string out = "{";
  for (const Field& f : Fields(record)) {
    if (!f.Present) continue;
    if (out.size() > 1) out += ",";
    out += JsonString(f.Name) + ":";
    out += f.Type == Field::Text || f.Type == Field::Bytes ? JsonString(f.Value, f.Type == Field::Bytes)
                                                           : f.Value;
  }
  return out + "}";
}

std::string CsvHeader() {
  std::string out;
  for (const Field& f : Fields(ReadingRecord())) out += (out.empty() ? "" : ",") + std::string(f.Name);
  return out;
}

std::string RecordCsv(const ReadingRecord& record) {
  std::string out;
  bool first = true;
  for (const Field& f : Fields(record)) {
    if (!first) out += ",";
    first = false;
    if (f.Type == Field::Flag) {
      out += f.Present ? "true" : "false";
    } else if (f.Present) {
      // The unit's bytes as they can be read; every other text made valid UTF-8.
      out += CsvField(f.Type == Field::Bytes ? PrintableType(f.Value) : ValidUtf8(f.Value));
    }
  }
  return out;
}

std::vector<std::string> RecordLines(const ReadingRecord& record, uint32_t language) {
  const UnitReading& r = record.Reading;
  std::vector<std::string> lines;
  if (!record.Port.empty()) lines.push_back(Say(TXT_CLI_LINE_PORT, language, ValidUtf8(record.Port).c_str()));
  if (r.HasType)
    lines.push_back(Say(TXT_CLI_LINE_UNIT, language, Utf8FromCp1252(GetDeviceName()).c_str(),
                        PrintableType(r.Type).c_str()));
  if (r.HasSerial) lines.push_back(Say(TXT_CLI_LINE_SERIAL, language, SerialText(r.Serial).c_str()));
  if (r.HasCircuit) lines.push_back(Say(TXT_CLI_LINE_CIRCUIT, language, static_cast<int>(r.Circuit)));
  if (r.HasSoftware) lines.push_back(Say(TXT_CLI_LINE_SOFTWARE, language, SoftwareText(r).c_str()));
  return lines;
}

std::string WaitingText(uint32_t language, const std::string& port, int64_t ms, int32_t attempts) {
  return Say(TXT_CLI_WAITING, language, ValidUtf8(port).c_str(), static_cast<long long>(ms / 1000),
             static_cast<int>(attempts));
}

std::string FailureMessage(const ReadingRecord& record, int64_t waitMs, uint32_t language) {
  const UnitReading& r = record.Reading;
  const std::string port = ValidUtf8(record.Port);
  const std::string device = Utf8FromCp1252(GetDeviceName());
  switch (r.Outcome) {
    case ReadingOutcome::WrongUnit:
      return Say(TXT_CLI_WRONG_UNIT, language, port.c_str(), PrintableType(r.Type).c_str(), device.c_str());
    case ReadingOutcome::NoAnswer:
      return Say(TXT_CLI_NO_ANSWER, language, port.c_str(),
                 Format("%g", static_cast<double>(waitMs) / 1000).c_str());
    case ReadingOutcome::LinkLost:
      return Say(r.Status == COMERR_BAD_REPLY ? TXT_CLI_BAD_REPLY : TXT_CLI_LINK_LOST, language,
                 static_cast<int>(r.Status));
    case ReadingOutcome::Interrupted:
      return Say(TXT_CLI_INTERRUPTED, language);
    default:
      return std::string();
  }
}

bool ParseRecordLine(const std::string& line, std::string& port, bool& hasSerial, uint32_t& serial) {
  // Only the program's own records, these and those of its versions before the
  // schema: they name their port before any text a unit or a person could have put in.
  if (line.compare(0, 10, "{\"schema\":") != 0 && line.compare(0, 11, "{\"outcome\":") != 0) return false;
  hasSerial = false;
  port.clear();
  const size_t at = line.find(",\"port\":\"");
  if (at != std::string::npos) {
    for (size_t i = at + 9; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;  // an escaped character counts as itself
      port += line[i];
    }
  }
  const size_t s = line.find(",\"serial\":");
  if (s != std::string::npos) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(line.c_str() + s + 10, &end, 10);
    if (end != line.c_str() + s + 10 && value <= 0xFFFFFFFFull) {
      hasSerial = true;
      serial = static_cast<uint32_t>(value);
    }
  }
  return true;
}

void RepeatMemory::NoteLine(const std::string& jsonLine) {
  std::string port;
  bool hasSerial = false;
  uint32_t serial = 0;
  if (ParseRecordLine(jsonLine, port, hasSerial, serial) && hasSerial) Note(port, serial);
}

void RepeatMemory::Merge(const RepeatMemory& other) {
  for (const auto& [port, serial] : other.last_) last_[port] = serial;
}

void RepeatMemory::Mark(ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  if (!r.HasSerial) return;
  const auto it = last_.find(record.Port);
  record.Repeat = it != last_.end() && it->second == r.Serial;
  last_[record.Port] = r.Serial;
}
