// What a record's repeat and duplicate flags compare with.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "record/ReadingRecord.h"
#include "record/RecordIndex.h"
#include "record/RecordReader.h"

// The serial number last read on each fixture (on each port, for a record without a fixture), and the
// place each serial number was last seen, in memory: a run's own records, or those a page keeps.
class RepeatMemory {
 public:
  // A record read back (ParseRecordLine, ParseCsvRecord); one without a serial number is passed over.
  void Note(const RecordSeen& seen);
  // Sets the record's repeat and duplicate flags, then keeps its serial number for the next record.
  void Mark(ReadingRecord& record);

 private:
  std::map<std::string, uint32_t> last_;     // by place: the last serial number
  std::map<uint32_t, std::string> placeOf_;  // by serial number: the place it was last seen
};

// How the system names a port as one, whatever link or spelling leads to it (PortNaming::CanonicalPort).
using PortName = std::function<std::string(const std::string& port)>;

// Sets the record's repeat and duplicate flags from what record files hold: of the files' answers the
// newer record decides (by its time; the first file's on a tie), and a port an earlier record names
// counts by its one name now.
void MarkFromFiles(ReadingRecord& record, const std::vector<RecordIndex*>& files, const PortName& canonical);
