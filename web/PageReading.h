// One reading as the page runs and shows it: the shared reading over the Web Serial port, the
// window's pane lines, the record with its repeat flag, and what the page tells the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/ReadingSequence.h"
#include "record/ReadingRecord.h"
#include "record/RecordReader.h"

// How long the handshake is asked for before the page says no unit answered, as bravelle-cli's default.
constexpr uint32_t kPageWaitMs = 10000;

// The window's pane lines of the reading under way, UTF-8, taken from the sequence's events.
class PageReadingPane {
 public:
  explicit PageReadingPane(uint32_t language) : language_(language) {}
  void Take(ReadingEvent event, const UnitReading& reading);
  // The lines of the steps done so far.
  const std::vector<std::string>& SoFar() const { return lines_; }
  // Every line of the finished reading, with those the window writes once it shows the outcome.
  std::vector<std::string> Final(const UnitReading& reading) const;

 private:
  uint32_t language_;
  std::vector<std::string> lines_;
};

// Lines as a JSON array.
std::string JsonLines(const std::vector<std::string>& lines);

// What went wrong in words for the page (empty for a good reading), and the
// port problem the record names, from the link's status and the port's own words.
void TellFailure(ReadingRecord& record, uint32_t language, const std::string& portText);

// Sets the record's repeat and duplicate flags from all the page hands over of its history: the serial
// number last read on the record's fixture or port (lastSerial, -1 for none), and where the serial number
// read was last seen.
void MarkRepeat(ReadingRecord& record, double lastSerial, const RecordSeen& seenElsewhere);

// A good reading whose versions differ from the expected ones (texts as the page's fields hold them;
// empty or unreadable: any) becomes rejected, as bravelle-cli's --expect-software and --expect-circuit do.
void CheckExpected(ReadingRecord& record, const std::string& software, const std::string& circuit,
                   uint32_t language);

// The page's answer for a finished reading, one JSON object: pane lines, outcome,
// message, identity, and the record as its JSON line and its CSV rows with "," and ";" (when kept).
std::string PageResult(const ReadingRecord& record, const std::vector<std::string>& pane);
