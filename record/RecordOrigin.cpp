// A record's id, station and program.
#include "record/RecordOrigin.h"

#include "text/Format.h"

#ifndef BRAVELLE_VERSION
#define BRAVELLE_VERSION "unknown"
#endif

std::string UuidV7(int64_t unixMs, const uint8_t random[10]) {
  uint8_t b[16];
  for (int i = 0; i < 6; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(unixMs) >> (40 - 8 * i));
  b[6] = static_cast<uint8_t>(0x70 | (random[0] & 0x0F));
  b[7] = random[1];
  b[8] = static_cast<uint8_t>(0x80 | (random[2] & 0x3F));
  for (int i = 9; i < 16; ++i) b[i] = random[i - 6];
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += Format("%02x", b[i]);
  }
  return out;
}

void RecordOrigin::Stamp(ReadingRecord& record) const {
  uint8_t random[10];
  record.Id = system_.RandomBytes(random, sizeof random) ? UuidV7(record.StartUnixMs, random) : std::string();
  record.Station = station_;
  record.Program = program_;
}

std::string ProgramName(const char* name) { return std::string(name) + " " + BRAVELLE_VERSION; }
