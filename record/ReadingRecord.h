// One reading as a bench keeps it: the record's fields (schema 1), its JSON line and its CSV row, the
// stable error names, and the human lines and messages; shared by every front end without a window.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/UnitReading.h"

// The version of the record's fields; a reader checks it before it trusts the rest.
constexpr int kRecordSchema = 1;

// Why a port could not be used, as far as the front end could tell.
enum class PortProblem {
  None,
  Busy,            // another program holds it
  Missing,         // not there, or gone
  Permission,      // the account may not open it
  NotSerial,       // a file or device that is no serial port
  NoneToChoose,    // auto: there is no port
  Ambiguous,       // auto or a USB identity: several ports fit
  ListUnreadable,  // the port list cannot be read
  Other,
};

struct ReadingRecord {
  UnitReading Reading;
  std::string Port;                         // the device path read; empty when none could be chosen
  std::string Location;                     // the USB socket, for USB ports: "1-1.4"
  PortProblem Problem = PortProblem::None;  // with ReadingOutcome::PortError
  std::string Message;  // what went wrong, for a person, in UTF-8; empty when all went well
  int64_t ElapsedMs = 0;
  int64_t StartUnixMs = 0;  // wall-clock start, for "time"
  bool Repeat = false;      // the serial number equals the previous record's of the same port
};

// "ok", "wrong-unit", "no-answer", "link-lost", "port-error", "interrupted".
const char* OutcomeName(ReadingOutcome outcome);
// The finer, stable name of a failure ("bad-reply", "port-busy", ...); empty for a good reading.
std::string ErrorName(const ReadingRecord& record);

// Quoted and escaped. The text is taken as UTF-8: a byte that is not part of a
// valid sequence becomes U+FFFD, so that the line stays valid for any parser.
// latin1 spells every byte above 0x7F as \u00XX instead (bytes a unit sent,
// which may be anything).
std::string JsonString(const std::string& text, bool latin1 = false);

// The JSON object on one line, without a line end.
std::string RecordJson(const ReadingRecord& record);

// The CSV header and one row (RFC 4180: quoted where needed, CRLF left to the writer), UTF-8.
std::string CsvHeader();
std::string RecordCsv(const ReadingRecord& record);

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

// The serial number and port of a JSON line this program wrote; false for any other line.
bool ParseRecordLine(const std::string& line, std::string& port, bool& hasSerial, uint32_t& serial);

// The serial number last read on each port: what a record's repeat flag compares with.
class RepeatMemory {
 public:
  // A record line this program wrote; any other line is passed over.
  void NoteLine(const std::string& jsonLine);
  void Note(const std::string& port, uint32_t serial) { last_[port] = serial; }
  void Merge(const RepeatMemory& other);
  // Sets the record's repeat flag, then keeps its serial number for the next record of its port.
  void Mark(ReadingRecord& record);

 private:
  std::map<std::string, uint32_t> last_;
};
