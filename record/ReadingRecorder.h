// The record of a reading made once, from its sequence's events, for every front end that keeps records.
#pragma once

#include "link/ReadingSequence.h"
#include "platform/Clock.h"
#include "record/ReadingRecord.h"
#include "record/RecordOrigin.h"

// Fills a record's reading and times as the sequence tells them: the values and outcome once the unit
// is let go, the time from the first handshake, or, for a front end that waits for units to come and go
// (watch, plug-and-read), from the handshake that reached the unit; and once the unit is let go, the
// record's id, station and program from its origin.
class ReadingRecorder {
 public:
  ReadingRecorder(ReadingRecord& record, bool fromAnsweringHandshake, const RecordOrigin& origin)
      : record_(record), fromAnswering_(fromAnsweringHandshake), origin_(origin) {}
  void Take(ReadingEvent event, const UnitReading& reading);

 private:
  ReadingRecord& record_;
  bool fromAnswering_;
  const RecordOrigin& origin_;
  Stopwatch since_;
};
