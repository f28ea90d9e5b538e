// The records this program wrote, read back: a CSV file's shape, and a record's serial number and place.
#include "record/RecordReader.h"

#include <algorithm>
#include <cstdlib>

#include "record/RecordCodec.h"
#include "text/Utf8.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of a text field of a JSON line this program wrote, its escapes taken back (a control
// character of a port name as \u000a); empty when the line has none.
std::string JsonTextField(const std::string& line, const char* name) {
  std::string value;
  const std::string key = std::string(",\"") + name + "\":\"";
  const size_t at = line.find(key);
  if (at == std::string::npos) return value;
  for (size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
    if (line[i] != '\\' || i + 1 >= line.size()) {
      value += line[i];
      continue;
    }
    const char escaped = line[++i];
    unsigned code = 0;
    int digits = 0;
    while (escaped == 'u' && digits < 4 && i + 1 < line.size() && HexValue(line[i + 1]) >= 0) {
      code = code * 16 + static_cast<unsigned>(HexValue(line[++i]));
      ++digits;
    }
    if (escaped != 'u') {
      value += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
    } else {
      AppendUtf8(value, code);
    }
  }
  return value;
}

// A CSV text field as the writer spelled it: a control character as \xNN, so that a row is one line.
std::string CsvText(const std::string& field) {
  std::string value;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x' && HexValue(field[i + 2]) >= 0 &&
        HexValue(field[i + 3]) >= 0) {
      const int code = HexValue(field[i + 2]) * 16 + HexValue(field[i + 3]);
      if (code < 0x20 || code == 0x7F) {
        value += static_cast<char>(code);
        i += 3;
        continue;
      }
    }
    value += field[i];
  }
  return value;
}

bool ParseSerial(const char* text, uint32_t& serial) {
  char* stop = nullptr;
  const unsigned long long value = std::strtoull(text, &stop, 10);
  if (stop == text || value > 0xFFFFFFFFull) return false;
  serial = static_cast<uint32_t>(value);
  return true;
}

// Where a schema's columns are: the fields the flags need, and how many there are.
struct CsvColumns {
  size_t Count = 0;
  int Fixture = -1;
  int Port = -1;
  int Serial = -1;
  int Time = -1;
};

CsvColumns ColumnsOf(int schema) {
  CsvColumns columns;
  const std::vector<std::string> names = CsvFields(CsvHeader(',', schema), ',');
  columns.Count = names.size();
  for (size_t i = 0; i < names.size(); ++i) {
    const int at = static_cast<int>(i);
    if (names[i] == "fixture") columns.Fixture = at;
    if (names[i] == "port") columns.Port = at;
    if (names[i] == "serial") columns.Serial = at;
    if (names[i] == "time") columns.Time = at;
  }
  return columns;
}

const CsvColumns& Columns(int schema) {
  static const CsvColumns kSchemas[] = {ColumnsOf(1), ColumnsOf(2), ColumnsOf(3)};
  static_assert(sizeof kSchemas / sizeof kSchemas[0] == kRecordSchema, "a schema's columns");
  return kSchemas[schema <= 1 ? 0 : schema >= kRecordSchema ? kRecordSchema - 1 : schema - 1];
}

}  // namespace

bool ParseIsoTime(const std::string& text, int64_t& unixMs) {
  // YYYY-MM-DDTHH:MM:SS.mmmZ
  static const char kShape[] = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (text.size() != sizeof kShape - 1) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (kShape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kShape[i]) return false;
  auto number = [&](size_t at, size_t digits) {
    int64_t n = 0;
    for (size_t i = at; i < at + digits; ++i) n = n * 10 + (text[i] - '0');
    return n;
  };
  // Days since 1970-01-01 from the civil date (Howard Hinnant's algorithm), as IsoTime's inverse.
  const int64_t month = number(5, 2);
  const int64_t year = number(0, 4) - (month <= 2 ? 1 : 0);
  const int64_t era = year / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + number(8, 2) - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = era * 146097 + dayOfEra - 719468;
  unixMs = days * 86400000 + number(11, 2) * 3600000 + number(14, 2) * 60000 + number(17, 2) * 1000 +
           number(20, 3);
  return true;
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

bool CutCsvHeader(const std::string& bytes, CsvShape& shape) {
  const size_t end = bytes.find('\0');
  const std::string cut = bytes.substr(0, end);
  // What follows the cut is what a power cut leaves: NUL bytes only.
  if (end != std::string::npos && bytes.find_first_not_of('\0', end) != std::string::npos) return false;
  const std::string mark = kUtf8Mark;
  const size_t marked = cut.compare(0, 1, mark, 0, 1) == 0 ? std::min(cut.size(), mark.size()) : 0;
  if (cut.compare(0, marked, mark, 0, marked) != 0) return false;
  const std::string header = cut.substr(marked);
  // Of two headers it begins, the newer schema's; of two separators, the one it shows, else the shape's.
  for (int schema = kRecordSchema; schema >= 1; --schema) {
    for (char separator : {shape.Separator, shape.Separator == ',' ? ';' : ','}) {
      if (CsvHeader(separator, schema).compare(0, header.size(), header) != 0) continue;
      shape.Separator = separator;
      shape.Schema = schema;
      if (!cut.empty()) shape.Mark = marked > 0;
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
  if (s != std::string::npos) seen.HasSerial = ParseSerial(line.c_str() + s + 10, seen.Serial);
  if (!ParseIsoTime(JsonTextField(line, "time"), seen.Time)) seen.Time = 0;
  return true;
}

bool ParseCsvRecord(const std::string& line, const CsvShape& shape, RecordSeen& seen) {
  const CsvColumns& columns = Columns(shape.Schema);
  const std::vector<std::string> fields = CsvFields(line, shape.Separator);
  // A row cut short has fewer fields; a row of another program's, other ones.
  if (fields.size() != columns.Count || fields[0] != std::to_string(shape.Schema)) return false;
  seen = RecordSeen();
  if (columns.Fixture >= 0) seen.Fixture = fields[columns.Fixture];
  seen.Port = CsvText(fields[columns.Port]);
  const std::string& serial = fields[columns.Serial];
  seen.HasSerial = !serial.empty() && serial.find_first_not_of("0123456789") == std::string::npos &&
                   ParseSerial(serial.c_str(), seen.Serial);
  if (!ParseIsoTime(fields[columns.Time], seen.Time)) seen.Time = 0;
  return true;
}
