// The repeat and duplicate flags: the serial numbers last read, by place.
#include "record/RepeatMemory.h"

#include "text/Utf8.h"

namespace {

std::string Place(const std::string& fixture, const std::string& port) {
  // A port as the files spell it: bytes that are no UTF-8 come back from them as U+FFFD.
  return fixture.empty() ? "port " + ValidUtf8(port) : "fixture " + fixture;
}

}  // namespace

void RepeatMemory::Note(const RecordSeen& seen) {
  if (!seen.HasSerial) return;
  const std::string place = Place(seen.Fixture, seen.Port);
  last_[place] = seen.Serial;
  placeOf_[seen.Serial] = place;
}

void RepeatMemory::Mark(ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  if (!r.HasSerial) return;
  const std::string place = Place(record.Fixture, record.Port);
  const auto last = last_.find(place);
  record.Repeat = last != last_.end() && last->second == r.Serial;
  const auto seen = placeOf_.find(r.Serial);
  record.Duplicate = seen != placeOf_.end() && seen->second != place;
  last_[place] = r.Serial;
  placeOf_[r.Serial] = place;
}

void MarkFromFiles(ReadingRecord& record, const std::vector<RecordIndex*>& files, const PortName& canonical) {
  const UnitReading& r = record.Reading;
  if (!r.HasSerial) return;
  const std::string place = Place(record.Fixture, record.Port);
  std::map<std::string, std::string> named;  // the ports the files name, by their one name now
  auto placeOf = [&](const RecordSeen& seen) {
    if (!seen.Fixture.empty()) return Place(seen.Fixture, std::string());
    const auto known = named.find(seen.Port);
    if (known != named.end()) return known->second;
    return named[seen.Port] = Place(std::string(), canonical(seen.Port));
  };
  const RecordIndex::SamePlace here = [&](const RecordSeen& seen) { return placeOf(seen) == place; };
  bool hasLast = false, hasSeen = false;
  RecordSeen last, seen, found;
  for (RecordIndex* file : files) {
    if (file->LastAt(here, found) && (!hasLast || found.Time > last.Time)) {
      last = found;
      hasLast = true;
    }
    if (file->LastOf(r.Serial, found) && (!hasSeen || found.Time > seen.Time)) {
      seen = found;
      hasSeen = true;
    }
  }
  record.Repeat = hasLast && last.Serial == r.Serial;
  record.Duplicate = hasSeen && placeOf(seen) != place;
}
