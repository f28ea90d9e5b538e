// TDlgLectureInformation: the main window, its serial link and the reading sequence.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "forms/MainWindowLayout.h"
#include "forms/TConfigurationPort.h"
#include "forms/WindowClock.h"
#include "forms/WindowJournal.h"
#include "link/Com_p04.h"
#include "link/ReadingSequence.h"
#include "link/UnitLine.h"
#include "platform/Clock.h"
#include "platform/PortRegistry.h"
#include "platform/SerialDevice.h"
#include "platform/SettingsStorage.h"
#include "ui/Toolkit.h"

class TDialogChoixLangue;

// The two messages the reading sequence posts to its own window.
constexpr uint32_t UM_READ_FAILED = 1025;  // WM_USER + 1
constexpr uint32_t UM_READ_DONE = 1027;    // WM_USER + 3

// wParam of UM_READ_FAILED. For kReadLinkLost the lParam carries the link
// status that ended the reading, so the error box can show it.
constexpr uintptr_t kReadWrongUnit = 0;
constexpr uintptr_t kReadLinkLost = 1;

class TDlgLectureInformation {
 public:
  // The link reads the unit through serial and clock, the port dialog lists the ports through registry
  // and locale, the language is kept through storage, the readings in the journal.
  TDlgLectureInformation(ui::Toolkit& toolkit, SerialDevice& serial, Clock& clock, PortRegistry& registry,
                         TextLocale& locale, SettingsStorage& storage, WindowJournal& journal);
  ~TDlgLectureInformation();
  TDlgLectureInformation(const TDlgLectureInformation&) = delete;
  TDlgLectureInformation& operator=(const TDlgLectureInformation&) = delete;

  void SetLanguageDialog(TDialogChoixLangue* dialog);
  void SetSettingsPath(const std::string& path);
  void SetLanguage(uint32_t index);
  void RefreshTexts();
  ui::Form& Form();

  // Event handlers, bound to the controls and the window's messages.
  void ButtonQuitterClick();
  void ButtonConfigPortClick();
  void ButtonChoixLangueClick();
  void ButtonLectureInfoClick();
  void TimerGestConnectionTimer();
  void OnReadFailed(const ui::Message& message);
  void OnReadDone();
  void FormSessionEnd();
  // The system menu's "Saved readings…": the folder that holds them, in the system's file browser.
  void SavedReadingsClick();
  // The window's message dispatch: true when the message was one of ours.
  bool HandleMessage(const ui::Message& message);

 private:
  ui::Toolkit& toolkit_;
  SettingsStorage& storage_;
  WindowJournal& journal_;
  // Once the session ends, the unit's answers are no longer waited for and the link's pauses are over.
  bool sessionEnded_ = false;
  StoppableSerialDevice line_;
  WindowClock ticks_;  // the link's, which the reading sequence times its handshake by
  TDialogChoixLangue* languageDialog_ = nullptr;
  std::unique_ptr<ui::Form> form_;

 public:
  // The controls, in creation (and tab) order; they live as long as the form.
  ui::Button& ButtonLectureInfo;
  ui::Memo& MemoInformation;
  ui::Button& ButtonChoixLangue;
  ui::Button& ButtonQuitter;
  ui::Button& ButtonConfigPort;
  ui::Timer& TimerGestConnection;

  // Read by start-up and tests; changed only through the setters and handlers.
  uint32_t Language = 0;
  std::string SettingsPath;
  int32_t ReadStep = 0;

  // Members are destroyed in reverse order: Link is declared last so that the
  // unit is released and the port closed while the form, its controls and
  // PortDialog still exist. PortDialog is created in the constructor's body,
  // once the main form exists to own it and Link exists to take the port it picks.
  std::unique_ptr<TConfPort> PortDialog;
  TComP04 Link;

 private:
  void LayOutButtons();
  void Append(const std::string& line);
  void EnableDialogButtons(bool enabled);
  void ReturnToIdle();
  // Ends the reading with UM_READ_FAILED; the timer stops first so that no
  // tick runs between the post and its handler.
  void PostReadFailed(uintptr_t kind, int32_t status);

  // The idle tick: a port that came or went.
  void WatchPort();
  // What the reading under way tells: its pane lines, and its outcome posted to the window.
  void OnReadingEvent(ReadingEvent event, const UnitReading& reading);
  // The lines that close a reading whose unit answered, and a line more should its record be missing.
  void AppendClosingLines(ReadingOutcome outcome);

  // The reading under way, one step per tick; made by the read button.
  std::unique_ptr<ReadingSequence> reading_;
};
