// The identity a bench expects of its units, and the rejection of a unit that differs.
#include "record/Expectations.h"

#include "record/RecordTexts.h"

namespace {

bool ParseByte(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 3) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value <= 255;
}

}  // namespace

bool ParseSoftwareVersion(const std::string& text, SoftwareVersion& version) {
  const size_t dot = text.find('.');
  return dot != std::string::npos && ParseByte(text.substr(0, dot), version.Major) &&
         ParseByte(text.substr(dot + 1), version.Minor);
}

bool ParseCircuitVersion(const std::string& text, int32_t& circuit) { return ParseByte(text, circuit); }

bool ApplyExpectations(const Expectations& expected, ReadingRecord& record, uint32_t language) {
  const UnitReading& r = record.Reading;
  if (r.Outcome != ReadingOutcome::Ok) return false;
  auto listed = [language](const std::vector<std::string>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) out += (i == 0 ? "" : Say(TXT_REC_OR, language)) + values[i];
    return out;
  };
  if (!expected.Software.empty()) {
    std::vector<std::string> values;
    bool found = false;
    for (const SoftwareVersion& v : expected.Software) {
      values.push_back(std::to_string(v.Major) + "." + std::to_string(v.Minor));
      found = found || (v.Major == r.SoftwareMajor && v.Minor == r.SoftwareMinor);
    }
    if (!found) {
      record.Rejected = ReadingRecord::Rejection::Software;
      record.Message =
          Say(TXT_REC_UNEXPECTED_SOFTWARE, language, SoftwareText(r).c_str(), listed(values).c_str());
      return true;
    }
  }
  if (!expected.Circuit.empty()) {
    std::vector<std::string> values;
    bool found = false;
    for (int32_t c : expected.Circuit) {
      values.push_back(std::to_string(c));
      found = found || c == r.Circuit;
    }
    if (!found) {
      record.Rejected = ReadingRecord::Rejection::Circuit;
      record.Message = Say(TXT_REC_UNEXPECTED_CIRCUIT, language, std::to_string(r.Circuit).c_str(),
                           listed(values).c_str());
      return true;
    }
  }
  return false;
}
