// The record as a JSON line and as a CSV row.
#pragma once

#include <string>
#include <vector>

#include "record/ReadingRecord.h"

// One field of a record: JSON and CSV are two spellings of one list of them, in one order. A field
// belongs to the schemas from Since on; Bytes are what the unit sent, whatever they are.
struct RecordField {
  const char* Name;
  bool Present;
  std::string Value;
  enum Kind { Number, Text, Bytes, Flag } Type;
  int Since;
};
// The record's fields in their order, for a schema (its number the first field's value).
std::vector<RecordField> RecordFields(const ReadingRecord& record, int schema = kRecordSchema);

// Quoted and escaped. The text is taken as UTF-8: a byte that is not part of a
// valid sequence becomes U+FFFD, so that the line stays valid for any parser.
// latin1 spells every byte above 0x7F as \u00XX instead (bytes a unit sent,
// which may be anything).
std::string JsonString(const std::string& text, bool latin1 = false);

// The JSON object on one line, without a line end: of a record, or of its fields.
std::string RecordJson(const ReadingRecord& record);
std::string FieldsJson(const std::vector<RecordField>& fields);

// The UTF-8 byte order mark that begins a CSV file this program makes: a spreadsheet then reads it as
// UTF-8 instead of the system's code page.
constexpr const char kUtf8Mark[] = "\xEF\xBB\xBF";

// The CSV header and one row (RFC 4180: quoted where needed, CRLF left to the writer), UTF-8, with the
// separator "," or ";" (a spreadsheet set to French), in the columns of a schema (1 to 3).
std::string CsvHeader(char separator = ',', int schema = kRecordSchema);
std::string RecordCsv(const ReadingRecord& record, char separator = ',', int schema = kRecordSchema);
std::string FieldsCsv(const std::vector<RecordField>& fields, char separator, int schema = kRecordSchema);
// A field's value as a CSV cell or a database column holds it, unquoted: a flag "true" or "false", the
// unit's bytes as PrintableType spells them, any other text valid UTF-8; empty when absent.
std::string FieldText(const RecordField& field);
