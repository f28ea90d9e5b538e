// The main window's journal of its readings: one record per reading that came to an outcome.
#pragma once

#include <cstdint>
#include <string>

#include "link/ReadingSequence.h"
#include "platform/Identity.h"
#include "platform/RecordFile.h"
#include "platform/SettingsStorage.h"
#include "record/ReadingRecord.h"
#include "record/ReadingRecorder.h"

// The file's name in the program's folder among the user's own (%LOCALAPPDATA%\Bravelle).
extern const char kJournalFileName[];  // "\readings.jsonl"

// The records are those bravelle-cli writes with --log: the same fields, taken from the sequence's events
// by the same recorder and appended by the same writer (the file's lock, whole lines, cut back when a
// full disk took part of one), so that whatever takes bravelle-cli's logs takes this file as it is.
// The repeat and duplicate flags are set against the journal's own earlier records.
class WindowJournal {
 public:
  // program: the writer, as the records name it ("Bravelle.exe 1.0.1.10"); the station is the computer's
  // name, as the system tells it.
  WindowJournal(RecordFiles& files, SettingsStorage& storage, StationIdentity& identity, std::string program);
  WindowJournal(const WindowJournal&) = delete;
  WindowJournal& operator=(const WindowJournal&) = delete;

  // A reading begins on the port ("COM4"); what went wrong is worded in the language.
  void Begin(const std::string& port, uint32_t language);
  // What the reading tells. Once its unit is let go after an outcome (complete, a unit of another type,
  // the link lost), its record is appended; a reading cut short (the session's end) has none.
  void Take(ReadingEvent event, const UnitReading& reading);
  // The record of the reading just over could not be written.
  bool Missed() const { return missed_; }

 private:
  bool Append();

  RecordFiles& files_;
  SettingsStorage& storage_;
  RecordOrigin origin_;
  uint32_t language_ = 0;
  ReadingRecord record_;
  ReadingRecorder recorder_;
  bool missed_ = false;
};
