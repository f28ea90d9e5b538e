// Where a record comes from, stamped on it as it is made: its id, the station and the program.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/Identity.h"
#include "record/ReadingRecord.h"

class RecordOrigin {
 public:
  // program: the front end and its version ("bravelle-cli 1.0.1.10", "Bravelle Web 1.0.1.10").
  RecordOrigin(StationIdentity& system, std::string station, std::string program)
      : system_(system), station_(std::move(station)), program_(std::move(program)) {}
  // The record's id, a UUID version 7 on its start time (ids sort as the records were made), its
  // station and program. Without random bytes from the system the record goes without an id, as one of
  // schema 2 did, rather than with one another station could make too.
  void Stamp(ReadingRecord& record) const;
  const std::string& Station() const { return station_; }

 private:
  StationIdentity& system_;
  std::string station_;
  std::string program_;
};

// "0190f5b4-5c1a-7d3e-9f00-3a5b2c1d4e6f": the 48-bit Unix milliseconds, the version (7) and the
// variant (10) bits, and 74 bits of the ten random bytes.
std::string UuidV7(int64_t unixMs, const uint8_t random[10]);

// The program's name as records carry it: "bravelle-cli 1.0.1.10".
std::string ProgramName(const char* name);
