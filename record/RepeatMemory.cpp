// The repeat and duplicate flags: the serial numbers last read, by place.
#include "record/RepeatMemory.h"

namespace {

std::string Place(const std::string& fixture, const std::string& port) {
  return fixture.empty() ? "port " + port : "fixture " + fixture;
}

}  // namespace

void RepeatMemory::Note(const RecordSeen& seen) {
  if (!seen.HasSerial) return;
  const std::string place = Place(seen.Fixture, seen.Port);
  last_[place] = seen.Serial;
  placeOf_[seen.Serial] = place;
}

void RepeatMemory::Merge(const RepeatMemory& other) {
  for (const auto& [place, serial] : other.last_) last_[place] = serial;
  for (const auto& [serial, place] : other.placeOf_) placeOf_[serial] = place;
}

void RepeatMemory::Alias(const std::string& givenPort, const std::string& canonicalPort) {
  const std::string from = Place(std::string(), givenPort);
  const std::string to = Place(std::string(), canonicalPort);
  if (from == to) return;
  const auto it = last_.find(from);
  // The old name stays: no record of this run carries it.
  if (it != last_.end()) last_.emplace(to, it->second);
  for (auto& [serial, place] : placeOf_)
    if (place == from) place = to;
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
