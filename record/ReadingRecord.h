// One reading as a bench keeps it: the record's fields (schema 2), its JSON line and its CSV row, the
// stable error names, the identity a bench expects, reading the records back, and the human lines and
// messages; shared by every front end without a window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/UnitReading.h"

// The version of the record's fields; a reader checks it before it trusts the rest.
// Schema 2 added "fixture", "duplicate" and the outcome "rejected"; a CSV file of schema 1 keeps its columns.
constexpr int kRecordSchema = 2;

struct ReadingRecord {
  UnitReading Reading;
  std::string Port;                         // the device path read; empty when none could be chosen
  std::string Location;                     // the USB socket, for USB ports: "1-1.4"
  PortProblem Problem = PortProblem::None;  // with ReadingOutcome::PortError
  std::string Message;  // what went wrong, for a person, in UTF-8; empty when all went well
  int64_t ElapsedMs = 0;
  int64_t StartUnixMs = 0;  // wall-clock start, for "time"
  bool Repeat = false;      // the serial number equals the previous record's of the same fixture
  std::string Fixture;      // the bench's name for the place the unit sits in; empty when unnamed
  bool Duplicate = false;   // the serial number was last seen under another fixture (or port)
  // A good reading whose software or circuit version the bench does not expect: outcome "rejected".
  enum class Rejection { None, Software, Circuit } Rejected = Rejection::None;
};

// "ok", "wrong-unit", "no-answer", "link-lost", "port-error", "interrupted".
const char* OutcomeName(ReadingOutcome outcome);
// The record's outcome: the reading's, or "rejected".
const char* RecordOutcomeName(const ReadingRecord& record);
// The finer, stable name of a failure ("bad-reply", "port-busy", ...); empty for a good reading.
std::string ErrorName(const ReadingRecord& record);

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

// A CSV file's shape, as its header line tells it.
struct CsvShape {
  char Separator = ',';
  int Schema = kRecordSchema;
  bool Mark = true;  // the file begins with kUtf8Mark
};
// Whether the line (without its end) is the header of one of our schemas, with its mark or without.
bool ParseCsvHeader(const std::string& line, CsvShape& shape);
// The fields of one CSV line (quoted fields, without line breaks inside them).
std::vector<std::string> CsvFields(const std::string& line, char separator);

// "2026-12-09T18:30:05.123Z"
std::string IsoTime(int64_t unixMs);
// "0305419896": the serial number as the window shows it.
std::string SerialText(uint32_t serial);
// "1.12": the software version, major and minor.
std::string SoftwareText(const UnitReading& reading);
// The unit's type as it can be shown: other bytes as \xNN.
std::string PrintableType(const std::string& type);

// One line per known value, in the language (0 French, 1 English), UTF-8.
std::vector<std::string> RecordLines(const ReadingRecord& record, uint32_t language);

// "Waiting for a unit on /dev/ttyUSB0: 12 s, 5 attempt(s)": the wait for the handshake, UTF-8.
std::string WaitingText(uint32_t language, const std::string& port, int64_t ms, int32_t attempts);

// What went wrong, for a person, when the reading itself failed (not for port
// problems, whose wording comes from the system's backend); UTF-8.
std::string FailureMessage(const ReadingRecord& record, int64_t waitMs, uint32_t language);

// What the repeat and duplicate flags need of a record read back.
struct RecordSeen {
  std::string Fixture;  // empty when the record has none (schema 1, or an unnamed fixture)
  std::string Port;
  bool HasSerial = false;
  uint32_t Serial = 0;
};
// The serial number, fixture and port of a JSON line this program wrote; false for any other line (a
// broken one included).
bool ParseRecordLine(const std::string& line, RecordSeen& seen);
bool ParseRecordLine(const std::string& line, std::string& port, bool& hasSerial, uint32_t& serial);
// The same of a CSV row under a header that ParseCsvHeader took; false for a row that is not whole.
bool ParseCsvRecord(const std::string& line, const CsvShape& shape, RecordSeen& seen);

// The serial number last read on each fixture (on each port, for a record without a fixture), and the
// place each serial number was last seen: what a record's repeat and duplicate flags compare with.
class RepeatMemory {
 public:
  // A record line this program wrote; any other line is passed over.
  void NoteLine(const std::string& jsonLine);
  void NoteCsvRow(const std::string& row, const CsvShape& shape);
  void Note(const RecordSeen& seen);
  void Note(const std::string& port, uint32_t serial);
  void Merge(const RepeatMemory& other);
  // Earlier records that name a port as the user gave it (a link, another spelling) count for the
  // port's one name from now on.
  void Alias(const std::string& givenPort, const std::string& canonicalPort);
  // Sets the record's repeat and duplicate flags, then keeps its serial number for the next record.
  void Mark(ReadingRecord& record);

 private:
  std::map<std::string, uint32_t> last_;     // by place: the last serial number
  std::map<uint32_t, std::string> placeOf_;  // by serial number: the place it was last seen
};

// "MAJOR.MINOR" and "N": the values a bench expects of its units.
struct SoftwareVersion {
  int32_t Major = 0;
  int32_t Minor = 0;
};
// Plain decimal numbers from 0 to 255 (what the unit's memory holds); false for anything else.
bool ParseSoftwareVersion(const std::string& text, SoftwareVersion& version);
bool ParseCircuitVersion(const std::string& text, int32_t& circuit);

// Any listed value passes; an empty list takes every value.
struct Expectations {
  std::vector<SoftwareVersion> Software;
  std::vector<int32_t> Circuit;
};

// A good reading whose software or circuit version is not one expected becomes "rejected", with its
// error ("unexpected-software", "unexpected-circuit") and a message naming what was expected and
// found, in the language; true when it was rejected.
bool ApplyExpectations(const Expectations& expected, ReadingRecord& record, uint32_t language);
