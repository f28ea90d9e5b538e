// The identity a bench expects of its units: "MAJOR.MINOR" and "N".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/ReadingRecord.h"

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
