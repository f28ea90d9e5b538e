// The record as a JSON line and as a CSV row.
#pragma once

#include <string>

#include "record/ReadingRecord.h"

// Quoted and escaped. The text is taken as UTF-8: a byte that is not part of a
// valid sequence becomes U+FFFD, so that the line stays valid for any parser.
// latin1 spells every byte above 0x7F as \u00XX instead (bytes a unit sent,
// which may be anything).
std::string JsonString(const std::string& text, bool latin1 = false);

// The JSON object on one line, without a line end.
std::string RecordJson(const ReadingRecord& record);

// The UTF-8 byte order mark that begins a CSV file this program makes: a spreadsheet then reads it as
// UTF-8 instead of the system's code page.
constexpr const char kUtf8Mark[] = "\xEF\xBB\xBF";

// The CSV header and one row (RFC 4180: quoted where needed, CRLF left to the writer), UTF-8, with the
// separator "," or ";" (a spreadsheet set to French), in the columns of a schema (1 or 2).
std::string CsvHeader(char separator = ',', int schema = kRecordSchema);
std::string RecordCsv(const ReadingRecord& record, char separator = ',', int schema = kRecordSchema);
