// The main window's test rig: a scripted unit on the line, with the shared fakes of the other services.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "forms/TDlgLectureInformation.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakePortRegistry.h"
#include "tests/support/FakeRecordFiles.h"
#include "tests/support/FakeSettingsStorage.h"
#include "tests/support/FakeStationIdentity.h"
#include "tests/support/FakeToolkit.h"
#include "tests/support/UnitOnSerialLine.h"

namespace mw {

// Everything a main window needs, with the unit on COM4 behind a
// Silicon Labs port so that the window picks it by itself.
struct Rig {
  Rig();
  ~Rig();

  fake::FakeToolkit Toolkit;
  fake::FakeClock Ticks{5000};
  fake::UnitOnSerialLine Unit{Ticks};
  fake::FakePortRegistry Registry;
  fake::FakeTextLocale Locale;
  fake::FakeSettingsStorage Storage;
  fake::FakeRecordFiles Records;
  fake::FakeStationIdentity Identity;
  WindowJournal Journal{Records, Storage, Identity, "Bravelle.exe test"};
  Platform Services{Toolkit, Unit, Ticks, Registry, Locale, Storage, Records, Identity};
  std::unique_ptr<TDlgLectureInformation> Window;

  TDlgLectureInformation& Start();
  fake::FakeForm& MainForm() const;
  fake::FakeTimer& Timer() const;
  fake::FakeButton& Read() const;
  fake::FakeButton& Port() const;
  fake::FakeButton& Language() const;
  fake::FakeButton& Quit() const;
  std::vector<std::string> Lines() const;
  // The pane's lines from index `from` on.
  std::vector<std::string> LinesFrom(size_t from) const;

  // One timer tick, then the messages it posted, as the message loop runs them.
  void Tick();
  // Clicks the read button and ticks until the buttons are given back (or
  // maxTicks ran out); returns the ticks used.
  int ReadToEnd(int maxTicks = 50);
};

}  // namespace mw
