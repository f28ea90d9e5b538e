// The window's readings, kept in the user's folder.
#include "forms/WindowJournal.h"

#include <utility>

#include "record/ReadingMessages.h"
#include "record/RecordFile.h"
#include "record/RepeatMemory.h"
#include "text/SettingsFile.h"

const char kJournalFileName[] = "\\readings.jsonl";

// The time is the handshake's that reached the unit: the window asks until a unit answers, for as long
// as the user lets it, and the wait is no part of the reading.
WindowJournal::WindowJournal(RecordFiles& files, SettingsStorage& storage, StationIdentity& identity,
                             std::string program)
    : files_(files),
      storage_(storage),
      origin_(identity, identity.HostName(), std::move(program)),
      recorder_(record_, true, origin_) {}

void WindowJournal::Begin(const std::string& port, uint32_t language) {
  record_ = ReadingRecord();
  record_.Port = port;
  language_ = language;
  missed_ = false;
}

void WindowJournal::Take(ReadingEvent event, const UnitReading& reading) {
  recorder_.Take(event, reading);
  if (event != ReadingEvent::Released) return;
  const ReadingOutcome outcome = record_.Reading.Outcome;
  if (outcome != ReadingOutcome::Ok && outcome != ReadingOutcome::WrongUnit &&
      outcome != ReadingOutcome::LinkLost)
    return;
  record_.Message = FailureMessage(record_, 0, language_);
  missed_ = !Append();
}

bool WindowJournal::Append() {
  // Opened for each record: a journal moved away, shipped or cut meanwhile is found as it is now, and
  // a failure is the reading's own, not every later one's.
  const std::string folder = UserFolder(storage_);
  if (folder.empty()) return false;
  RecordFile journal(files_, RecordFile::JsonLines);
  if (!journal.Open(folder + kJournalFileName)) return false;
  // The window names its ports one way only ("COM4").
  RepeatMemory none;
  return AppendMarked(record_, {&journal}, none, [](const std::string& port) { return port; });
}
