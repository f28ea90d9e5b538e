// The spelling of a record's values, the same in every place that shows them.
#include "record/ReadingRecord.h"

#include "text/Format.h"

std::string IsoTime(int64_t unixMs) {
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm): no
  // gmtime, whose thread-safe variant differs between the systems.
  int64_t days = unixMs >= 0 ? unixMs / 86400000 : (unixMs - 86399999) / 86400000;
  const int64_t msOfDay = unixMs - days * 86400000;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return Format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(msOfDay / 3600000), static_cast<long long>(msOfDay / 60000 % 60),
                static_cast<long long>(msOfDay / 1000 % 60), static_cast<long long>(msOfDay % 1000));
}

std::string SerialText(uint32_t serial) { return Format("%010lu", static_cast<unsigned long>(serial)); }

std::string SoftwareText(const UnitReading& r) {
  return std::to_string(r.SoftwareMajor) + "." + std::to_string(r.SoftwareMinor);
}

std::string PrintableType(const std::string& type) {
  std::string out;
  for (unsigned char c : type) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02X", c);
    }
  }
  return out;
}
