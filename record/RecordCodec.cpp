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

std::vector<RecordField> RecordFields(const ReadingRecord& record, int schema) {
  const UnitReading& r = record.Reading;
  const bool failed = r.Outcome != ReadingOutcome::Ok || record.Rejected != ReadingRecord::Rejection::None;
  using F = RecordField;
  return {
      {"schema", true, std::to_string(schema), F::Number, 1},
      {"id", !record.Id.empty(), record.Id, F::Text, 3},
      {"outcome", true, RecordOutcomeName(record), F::Text, 1},
      {"error", failed, ErrorName(record), F::Text, 1},
      {"message", failed && !record.Message.empty(), record.Message, F::Text, 1},
      {"station", !record.Station.empty(), record.Station, F::Text, 3},
      {"fixture", !record.Fixture.empty(), record.Fixture, F::Text, 2},
      {"port", !record.Port.empty(), record.Port, F::Text, 1},
      {"location", !record.Location.empty(), record.Location, F::Text, 1},
      {"type", r.HasType, r.Type, F::Bytes, 1},
      {"serial", r.HasSerial, std::to_string(r.Serial), F::Number, 1},
      {"serial_text", r.HasSerial, SerialText(r.Serial), F::Text, 1},
      {"circuit", r.HasCircuit, std::to_string(r.Circuit), F::Number, 1},
      {"software", r.HasSoftware, SoftwareText(r), F::Text, 1},
      {"status", r.HasStatus, std::to_string(r.Status), F::Number, 1},
      {"elapsed_ms", true, std::to_string(record.ElapsedMs), F::Number, 1},
      {"time", true, IsoTime(record.StartUnixMs), F::Text, 1},
      {"repeat", record.Repeat, "true", F::Flag, 1},
      {"duplicate", record.Duplicate, "true", F::Flag, 2},
      {"program", !record.Program.empty(), record.Program, F::Text, 3},
  };
}

namespace {

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

std::string FieldsJson(const std::vector<RecordField>& fields) {
  std::string out = "{";
  for (const RecordField& f : fields) {
    if (!f.Present) continue;
    if (out.size() > 1) out += ",";
    out += JsonString(f.Name) + ":";
    out += f.Type == RecordField::Text || f.Type == RecordField::Bytes
               ? JsonString(f.Value, f.Type == RecordField::Bytes)
               : f.Value;
  }
  return out + "}";
}

std::string RecordJson(const ReadingRecord& record) { return FieldsJson(RecordFields(record)); }

std::string CsvHeader(char separator, int schema) {
  std::string out;
  for (const RecordField& f : RecordFields(ReadingRecord(), schema))
    if (f.Since <= schema) out += (out.empty() ? "" : std::string(1, separator)) + f.Name;
  return out;
}

std::string FieldText(const RecordField& field) {
  if (field.Type == RecordField::Flag) return field.Present ? "true" : "false";
  if (!field.Present) return std::string();
  // The unit's bytes as they can be read; every other text made valid UTF-8.
  return field.Type == RecordField::Bytes ? PrintableType(field.Value) : ValidUtf8(field.Value);
}

std::string FieldsCsv(const std::vector<RecordField>& fields, char separator, int schema) {
  std::string out;
  bool first = true;
  for (const RecordField& f : fields) {
    if (f.Since > schema) continue;
    if (!first) out += separator;
    first = false;
    out += f.Type == RecordField::Flag ? FieldText(f) : CsvField(FieldText(f), separator);
  }
  return out;
}

std::string RecordCsv(const ReadingRecord& record, char separator, int schema) {
  return FieldsCsv(RecordFields(record, schema), separator, schema);
}
