// A record from the sequence's events.
#include "record/ReadingRecorder.h"

void ReadingRecorder::Take(ReadingEvent event, const UnitReading& reading) {
  if (event == ReadingEvent::Attempt && (fromAnswering_ || reading.Attempts == 1)) {
    record_.StartUnixMs = UnixMsNow();
    since_.Restart();
  } else if (event == ReadingEvent::Released) {
    record_.Reading = reading;
    record_.ElapsedMs = since_.ElapsedMs();
    origin_.Stamp(record_);
  }
}
