// The SQL of the line's table, in words PostgreSQL and SQL Server both take, and the connection string's
// keys.
#include "cli/LineSql.h"

#include <vector>

namespace {

// The keys of a connection string: KEY=VALUE;..., a value in braces may hold ";".
std::vector<std::string> Keys(const std::string& connection) {
  std::vector<std::string> keys;
  std::string key;
  bool inValue = false;
  for (size_t i = 0; i < connection.size(); ++i) {
    const char c = connection[i];
    if (!inValue) {
      if (c == '=') {
        keys.push_back(AsciiLower(key));
        key.clear();
        inValue = true;
      } else if (c != ';' && c != ' ') {
        key += c;
      }
    } else if (c == '{') {
      // Up to the closing brace; "}}" is a brace inside.
      for (++i; i < connection.size(); ++i) {
        if (connection[i] == '}' && i + 1 < connection.size() && connection[i + 1] == '}') {
          ++i;
        } else if (connection[i] == '}') {
          break;
        }
      }
    } else if (c == ';') {
      inValue = false;
    }
  }
  return keys;
}

}  // namespace

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Quoted(const std::string& name) {
  std::string out;
  size_t start = 0;
  // schema.table: each part quoted on its own.
  for (size_t dot = name.find('.');; dot = name.find('.', start)) {
    out += (out.empty() ? "\"" : ".\"") + name.substr(start, dot - start) + "\"";
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return out;
}

size_t TextSize(const std::string& field) {
  if (field == "id") return 36;
  return field == "message" ? 2000 : 255;
}

std::string ColumnType(const RecordField& f) {
  if (std::string(f.Name) == "id") return "VARCHAR(36) NOT NULL PRIMARY KEY";
  switch (f.Type) {
    case RecordField::Number:
      return "BIGINT";
    case RecordField::Flag:
      return "SMALLINT NOT NULL";
    default:
      return "NATIONAL CHARACTER VARYING(" + std::to_string(TextSize(f.Name)) + ")";
  }
}

std::string TableDefinition(const std::string& table) {
  std::string columns;
  for (const RecordField& f : RecordFields(ReadingRecord()))
    columns += (columns.empty() ? "" : ", ") + Quoted(f.Name) + " " + ColumnType(f);
  return "CREATE TABLE " + Quoted(table) + " (" + columns + ")";
}

bool NamesPassword(const std::string& connection) {
  for (const std::string& key : Keys(connection))
    if (key == "pwd" || key == "password") return true;
  return false;
}

bool ValidTableName(const std::string& name) {
  if (name.empty() || name.size() > 63 || name.front() == '.' || name.back() == '.') return false;
  size_t dots = 0;
  for (char c : name) {
    if (c == '.') {
      ++dots;
    } else if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
      return false;
    }
  }
  return dots <= 1 && !(name[0] >= '0' && name[0] <= '9');
}

std::string InsertStatement(const std::string& table, size_t rows) {
  std::string names;
  std::string picked;
  std::string row;
  for (const RecordField& f : RecordFields(ReadingRecord())) {
    names += (names.empty() ? "" : ", ") + Quoted(f.Name);
    picked += (picked.empty() ? "v." : ", v.") + Quoted(f.Name);
    // Numbers travel as text: a parameter of VALUES has no column to take its type from.
    const std::string one = f.Type == RecordField::Number ? "CAST(? AS BIGINT)"
                            : f.Type == RecordField::Flag ? "CAST(? AS SMALLINT)"
                                                          : "?";
    row += (row.empty() ? "" : ", ") + one;
  }
  std::string values;
  for (size_t r = 0; r < rows; ++r) values += (r == 0 ? "(" : ", (") + row + ")";
  return "INSERT INTO " + Quoted(table) + " (" + names + ") SELECT " + picked + " FROM (VALUES " + values +
         ") AS v (" + names + ") WHERE NOT EXISTS (SELECT 1 FROM " + Quoted(table) +
         " AS t WHERE t.\"id\" = v.\"id\")";
}

bool ColumnFits(const RecordField& field, odbc::SmallInt type) {
  const bool number = type == odbc::kBigInt || type == odbc::kInteger || type == odbc::kSmallInt ||
                      type == odbc::kTinyInt || type == odbc::kNumeric || type == odbc::kDecimal;
  const bool text = type == odbc::kChar || type == odbc::kVarChar || type == odbc::kLongVarChar ||
                    type == odbc::kWChar || type == odbc::kWVarCharType || type == odbc::kWLongVarChar;
  if (field.Type == RecordField::Number) return number;
  if (field.Type == RecordField::Flag) return number || type == odbc::kBit;
  return text;
}
