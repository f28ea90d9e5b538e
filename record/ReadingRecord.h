// One reading as a bench keeps it: the record's fields (schema 3) and the spelling of their values,
// shared by every front end without a window. The JSON line and CSV row are in RecordCodec, reading
// them back in RecordReader, the stable names in OutcomeNames, the human texts in ReadingMessages.
#pragma once

#include <cstdint>
#include <string>

#include "link/UnitReading.h"

// The version of the record's fields; a reader checks it before it trusts the rest.
// Schema 2 added "fixture", "duplicate" and the outcome "rejected"; schema 3 "id", "station" and "program",
// which tell a record apart across a line of stations. A CSV file of an older schema keeps its columns.
constexpr int kRecordSchema = 3;

struct ReadingRecord {
  // Made with the record (RecordOrigin): a UUID version 7, unique across the line; the station that read
  // the unit; the program and its version ("bravelle-cli 1.0.1.10").
  std::string Id;
  std::string Station;
  std::string Program;
  UnitReading Reading;
  std::string Port;      // the device path read; empty when none could be chosen
  std::string Location;  // the USB socket, for USB ports: "1-1.4"
  std::string Message;   // what went wrong, for a person, in UTF-8; empty when all went well
  int64_t ElapsedMs = 0;
  int64_t StartUnixMs = 0;  // wall-clock start, for "time"
  bool Repeat = false;      // the serial number equals the previous record's of the same fixture
  std::string Fixture;      // the bench's name for the place the unit sits in; empty when unnamed
  bool Duplicate = false;   // the serial number was last seen under another fixture (or port)
  // A good reading whose software or circuit version the bench does not expect: outcome "rejected".
  enum class Rejection { None, Software, Circuit } Rejected = Rejection::None;
};

// "2026-12-09T18:30:05.123Z"
std::string IsoTime(int64_t unixMs);
// "0305419896": the serial number as the window shows it.
std::string SerialText(uint32_t serial);
// "1.12": the software version, major and minor.
std::string SoftwareText(const UnitReading& reading);
// The unit's type as it can be shown: other bytes as \xNN.
std::string PrintableType(const std::string& type);
