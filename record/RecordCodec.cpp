// The record as a JSON line and a CSV row: two spellings of one list of fields.
#include "record/RecordCodec.h"

#include <vector>

#include "record/OutcomeNames.h"
#include "text/Format.h"
#include "text/Utf8.h"

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

std::string CsvField(const std::string& value, char separator) {
  // A control character (a line break in a port's name) as \xNN, as the unit's bytes are: a row is one line.
  std::string text;
  for (unsigned char c : value)
    text += c < 0x20 || c == 0x7F ? Format("\\x%02X", c) : std::string(1, static_cast<char>(c));
  if (text.find_first_of(std::string("\"") + separator) == std::string::npos) return text;
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
