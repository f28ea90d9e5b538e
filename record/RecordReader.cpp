// The records this program wrote, read back: a CSV file's shape, and a record's serial number and place.
#include "record/RecordReader.h"

#include <cstdlib>

#include "record/RecordCodec.h"

namespace {

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

}  // namespace

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
