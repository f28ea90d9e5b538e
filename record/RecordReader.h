// The records this program wrote, read back: the shape of a CSV file, and what the repeat and duplicate
// flags need of each record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/ReadingRecord.h"

// A CSV file's shape, as its header line tells it.
struct CsvShape {
  char Separator = ',';
  int Schema = kRecordSchema;
  bool Mark = true;  // the file begins with kUtf8Mark
};
// Whether the line (without its end) is the header of one of our schemas, with its mark or without.
bool ParseCsvHeader(const std::string& line, CsvShape& shape);
// Whether the bytes, a file's whole content without a line end, are the beginning of one of our headers
// that a power cut left (NUL bytes after it too): the shape as far as they tell it, the rest left as
// it was.
bool CutCsvHeader(const std::string& bytes, CsvShape& shape);
// The fields of one CSV line (quoted fields, without line breaks inside them).
std::vector<std::string> CsvFields(const std::string& line, char separator);

// What the repeat and duplicate flags need of a record read back.
struct RecordSeen {
  std::string Fixture;  // empty when the record has none (schema 1, or an unnamed fixture)
  std::string Port;
  bool HasSerial = false;
  uint32_t Serial = 0;
  int64_t Time = 0;  // its "time" in ms since 1970; 0 for a record without one
};
// The serial number, fixture, port and time of a JSON line this program wrote; false for any other line
// (a broken one included).
bool ParseRecordLine(const std::string& line, RecordSeen& seen);
// The same of a CSV row under a header that ParseCsvHeader took; false for a row that is not whole.
bool ParseCsvRecord(const std::string& line, const CsvShape& shape, RecordSeen& seen);
// "2026-12-09T18:18:09.015Z" as ms since 1970; false for any other text.
bool ParseIsoTime(const std::string& text, int64_t& unixMs);
