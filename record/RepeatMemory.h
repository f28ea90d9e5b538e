// What a record's repeat and duplicate flags compare with.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "record/ReadingRecord.h"
#include "record/RecordReader.h"

// The serial number last read on each fixture (on each port, for a record without a fixture), and the
// place each serial number was last seen.
class RepeatMemory {
 public:
  // A record read back (ParseRecordLine, ParseCsvRecord); one without a serial number is passed over.
  void Note(const RecordSeen& seen);
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
