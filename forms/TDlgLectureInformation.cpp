// The main window: its layout and texts, its two dialogs, and the timer-driven reading of the unit.
#include "forms/TDlgLectureInformation.h"

#include <algorithm>

#include "forms/DialogChoixLangue.h"
#include "forms/SettingsErrorText.h"
#include "link/ReadingPane.h"
#include "text/Format.h"
#include "text/SettingsFile.h"
#include "text/TextCatalogue.h"

namespace {

constexpr uint32_t kIdleInterval = 2000;
constexpr uint32_t kReadingInterval = 300;
// Room left and right of a caption inside its button.
constexpr int kCaptionPadding = 20;

ui::FormStyle MainFormStyle() {
  ui::FormStyle style;
  style.ClientWidth = 394;
  style.ClientHeight = 225;
  style.CloseBox = true;
  style.FontName = "MS Sans Serif";
  style.FontHeight = -11;
  return style;
}

std::unique_ptr<ui::Form> CreateMainForm(ui::Toolkit& toolkit) {
  auto form = toolkit.CreateForm(MainFormStyle(), nullptr);
  // The layout's placeholder; RefreshTexts writes the real caption.
  form->SetCaption("DlgLectureInformation");
  return form;
}

ui::Memo& CreateInformationPane(ui::Form& form) {
  ui::Memo& memo = form.CreateMemo({8, 8, 297, 209});
  memo.AppendLine("MemoInformation");
  return memo;
}

std::string WithDeviceName(TextPair id, uint32_t language) {
  return Format(Text(id, language), GetDeviceName().c_str());
}

// The port as records name it, "COM4", without the "\\.\" that lets the system open COM10 and above.
std::string RecordedPort(const TComP04& link) {
  const std::string path = link.DevicePath();
  const std::string prefix = "\\\\.\\";
  return path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
}

}  // namespace

TDlgLectureInformation::TDlgLectureInformation(ui::Toolkit& toolkit, SerialDevice& serial, Clock& clock,
                                               PortRegistry& registry, TextLocale& locale,
                                               SettingsStorage& storage, WindowJournal& journal)
    : toolkit_(toolkit),
      storage_(storage),
      journal_(journal),
      line_(serial, [this] { return sessionEnded_; }),
      ticks_(clock, toolkit, [this] { return sessionEnded_; }),
      form_(CreateMainForm(toolkit)),
      ButtonLectureInfo(form_->CreateButton({312, 8, 75, 25}, "Lecture des Information")),
      MemoInformation(CreateInformationPane(*form_)),
      ButtonChoixLangue(form_->CreateButton({312, 120, 75, 25}, "Choix de la langue")),
      ButtonQuitter(form_->CreateButton({312, 192, 75, 25}, "&Quitter")),
      ButtonConfigPort(form_->CreateButton({312, 64, 75, 25}, "Configuration du port")),
      TimerGestConnection(form_->CreateTimer()),
      SettingsPath(),
      Link(line_, ticks_) {
  ButtonLectureInfo.OnClick = [this] { ButtonLectureInfoClick(); };
  ButtonChoixLangue.OnClick = [this] { ButtonChoixLangueClick(); };
  ButtonQuitter.OnClick = [this] { ButtonQuitterClick(); };
  ButtonConfigPort.OnClick = [this] { ButtonConfigPortClick(); };
  TimerGestConnection.OnTimer = [this] { TimerGestConnectionTimer(); };
  form_->OnMessage = [this](const ui::Message& m) { return HandleMessage(m); };
  form_->OnSessionEnd = [this] { FormSessionEnd(); };
  form_->OnSystemMenuItem = [this] { SavedReadingsClick(); };

  PortDialog = std::make_unique<TConfPort>(toolkit, form_.get(), registry, locale);
  // The first scan of the ports; whether it found a change does not matter yet.
  PortDialog->PortChanged();

  ReadStep = 0;
  TimerGestConnection.SetInterval(kIdleInterval);
  TimerGestConnection.SetEnabled(true);

  LayOutButtons();
  MemoInformation.Clear();
  RefreshTexts();

  // Only a port of the preferred driver is trusted enough to read from at once;
  // otherwise Link keeps COM2 until the user or the idle watch picks a port.
  if (PortDialog->IsPreferredPort()) {
    ButtonLectureInfo.SetEnabled(true);
    Link.SetPortIndex(PortDialog->PortNumber() - 1);
  }
}

// Link, declared last, is destroyed first: it releases the unit and restores
// and closes the port before PortDialog and the form go.
TDlgLectureInformation::~TDlgLectureInformation() = default;

ui::Form& TDlgLectureInformation::Form() { return *form_; }

void TDlgLectureInformation::SetLanguageDialog(TDialogChoixLangue* dialog) { languageDialog_ = dialog; }

void TDlgLectureInformation::SetSettingsPath(const std::string& path) {
  if (path != SettingsPath) SettingsPath = path;
}

void TDlgLectureInformation::SetLanguage(uint32_t index) {
  if (index == Language || index >= 2) return;
  Language = index;
  RefreshTexts();
  // A failure leaves by exception with the new language already in force; the
  // toolkit shows it and the file keeps its old content. A Windows directory
  // that refuses the user sends the file to the user's own folder for good.
  try {
    SetSettingsPath(WriteSettings(storage_, SettingsPath, Language));
  } catch (const SettingsError& e) {
    throw ui::Error(SettingsErrorText(e));
  }
}

void TDlgLectureInformation::LayOutButtons() {
  ui::Button& q = ButtonQuitter;
  ui::Button& r = ButtonLectureInfo;
  ui::Button& p = ButtonConfigPort;
  ui::Button& l = ButtonChoixLangue;
  for (ui::Button* b : {&q, &r, &p, &l}) b->SetVisible(true);
  q.SetEnabled(true);
  p.SetEnabled(true);
  l.SetEnabled(true);
  r.SetEnabled(false);

  const MainButtonPlaces places = PlaceMainButtons(MemoInformation.GetBounds(), q.GetBounds().Height);
  q.SetLeft(places.Left);
  q.SetTop(places.QuitTop);
  r.SetLeft(places.Left);
  p.SetLeft(places.Left);
  l.SetLeft(places.Left);
  r.SetTop(places.ReadTop);
  r.SetHeight(places.Height);
  p.SetHeight(places.Height);
  l.SetHeight(places.Height);
  p.SetTop(places.PortTop);
  l.SetTop(places.LanguageTop);
}

void TDlgLectureInformation::RefreshTexts() {
  const uint32_t lang = Language;
  form_->SetCaption(WithDeviceName(TXT_MAIN_TITLE, lang));
  form_->SetSystemMenuItem(Text(TXT_SAVED_READINGS, lang));

  struct Captioned {
    ui::Button& button;
    TextPair text;
  };
  const Captioned buttons[] = {{ButtonQuitter, TXT_BTN_QUIT},
                               {ButtonLectureInfo, TXT_BTN_READ},
                               {ButtonConfigPort, TXT_BTN_PORT},
                               {ButtonChoixLangue, TXT_BTN_LANGUAGE}};
  int widths[4] = {};
  for (int i = 0; i < 4; ++i) {
    const char* caption = Text(buttons[i].text, lang);
    buttons[i].button.SetCaption(caption);
    // The "&" of an accelerator is measured as it stands in the catalogue.
    widths[i] = form_->TextWidth(caption) + kCaptionPadding;
    buttons[i].button.SetWidth(widths[i]);
  }
  const int common = std::max({widths[0], widths[1], widths[2], widths[3]});
  for (const Captioned& b : buttons) b.button.SetWidth(common);

  const ui::Bounds quit = ButtonQuitter.GetBounds();
  form_->SetWidth(MainWindowWidth(quit.Left, quit.Width));

  Append(WithDeviceName(TXT_INTRO_TITLE, lang));
  Append(Text(TXT_BLANK_LINE));
  Append(WithDeviceName(TXT_INTRO_CONNECT, lang));
  Append(WithDeviceName(TXT_INTRO_SWITCH_ON, lang));
  Append(Text(TXT_INTRO_CHOOSE_PORT, lang));
  Append(Format(Text(TXT_INTRO_PRESS_BUTTON, lang), Text(TXT_BTN_READ, lang)));
}

void TDlgLectureInformation::ButtonQuitterClick() { form_->Close(); }

// The system may end the process as soon as this returns, before any
// destructor runs: the unit is let go and the port's own settings put back
// now, and the program then quits. Windows allows a few seconds, so the
// release goes out once and its answer is not waited for. This may run inside
// the handshake's pause (the link's clock lets the message in there): the port
// is then closed under the handshake, which finds it so and ends at once.
void TDlgLectureInformation::FormSessionEnd() {
  TimerGestConnection.SetEnabled(false);
  sessionEnded_ = true;
  Link.Close();
  form_->SetSessionEndReason("");
  form_->Close();
}

void TDlgLectureInformation::SavedReadingsClick() {
  // Made when missing: the folder opens also before the first reading is kept.
  const std::string folder = UserFolder(storage_);
  if (folder.empty() || !toolkit_.OpenFolder(folder)) toolkit_.Beep(ui::kBeepError);
}

void TDlgLectureInformation::ButtonConfigPortClick() {
  PortDialog->SetLanguage(Language);
  PortDialog->ShowModal();
  Link.SetPortIndex(PortDialog->PortNumber() - 1);
  ButtonLectureInfo.SetEnabled(true);
}

void TDlgLectureInformation::ButtonChoixLangueClick() {
  // Start-up always hands the dialog over before the loop runs.
  if (languageDialog_ == nullptr) return;
  languageDialog_->SetLanguage(static_cast<int32_t>(Language));
  languageDialog_->ShowModal();
  SetLanguage(static_cast<uint32_t>(languageDialog_->ChosenLanguage()));
}

bool TDlgLectureInformation::HandleMessage(const ui::Message& message) {
  switch (message.Msg) {
    case UM_READ_FAILED:
      OnReadFailed(message);
      return true;
    case UM_READ_DONE:
      OnReadDone();
      return true;
    default:
      return false;
  }
}

void TDlgLectureInformation::Append(const std::string& line) { MemoInformation.AppendLine(line); }

// Disabled and given back in one fixed order: port, language, then the read button.
void TDlgLectureInformation::EnableDialogButtons(bool enabled) {
  ButtonConfigPort.SetEnabled(enabled);
  ButtonChoixLangue.SetEnabled(enabled);
  ButtonLectureInfo.SetEnabled(enabled);
}

void TDlgLectureInformation::ReturnToIdle() {
  form_->SetSessionEndReason("");
  EnableDialogButtons(true);
  reading_.reset();
  ReadStep = 0;
  TimerGestConnection.SetInterval(kIdleInterval);
  TimerGestConnection.SetEnabled(true);
}

void TDlgLectureInformation::PostReadFailed(uintptr_t kind, int32_t status) {
  TimerGestConnection.SetEnabled(false);
  form_->PostMessage({UM_READ_FAILED, kind, static_cast<intptr_t>(status)});
}

// ---- The reading sequence ----

void TDlgLectureInformation::ButtonLectureInfoClick() {
  // What the system shows should the session end before the unit is let go.
  form_->SetSessionEndReason(Text(TXT_READING_IN_PROGRESS, Language));
  EnableDialogButtons(false);
  // No unit, a refusal or a port that will not open: the handshake is asked again at the next tick,
  // silently and for as long as the user lets it run. A unit lost during the reading may have been
  // unplugged, or its port may be failing: its port is closed, so the next reading opens it anew.
  ReadingPlan plan;
  plan.Deadline = false;
  plan.PortErrorEnds = false;
  plan.After = AfterReading::ReleaseOrCloseWhenLost;
  journal_.Begin(RecordedPort(Link), Language);
  reading_ = std::make_unique<ReadingSequence>(
      Link, ticks_, plan, [this](ReadingEvent event, const UnitReading& r) { OnReadingEvent(event, r); });
  ReadStep = reading_->Stage();
  // A new interval restarts the period: the first step runs one period after the click.
  TimerGestConnection.SetInterval(kReadingInterval);
  TimerGestConnection.SetEnabled(true);
}

void TDlgLectureInformation::TimerGestConnectionTimer() {
  if (ReadStep == 0 || !reading_) {
    WatchPort();
    return;
  }
  reading_->Step();
  ReadStep = reading_->Stage();
}

void TDlgLectureInformation::WatchPort() {
  if (!PortDialog->PortChanged()) return;
  if (PortDialog->HasPort()) {
    ButtonLectureInfo.SetEnabled(true);
    Link.SetPortIndex(PortDialog->PortNumber() - 1);
  } else {
    ButtonLectureInfo.SetEnabled(false);
    // The chosen port has left the list (its adapter was unplugged): give up the
    // handle now, so that the unit plugged in next under the same name is
    // opened afresh instead of through a handle that leads nowhere.
    Link.Close();
  }
}

void TDlgLectureInformation::OnReadingEvent(ReadingEvent event, const UnitReading& r) {
  // Its record is in the journal before the outcome is shown.
  journal_.Take(event, r);
  for (const std::string& line : PaneLines(event, r, Language)) Append(line);
  if (event == ReadingEvent::Failed) {
    // A unit that answered the handshake and then fell silent or garbled its answers has not shown
    // what it is: its lines stop there, and the box says so with the link's status.
    if (r.Outcome == ReadingOutcome::WrongUnit)
      PostReadFailed(kReadWrongUnit, 0);
    else
      PostReadFailed(kReadLinkLost, r.Status);
  } else if (event == ReadingEvent::Released && r.Outcome == ReadingOutcome::Ok) {
    TimerGestConnection.SetEnabled(false);
    form_->PostMessage({UM_READ_DONE, 0, 0});
  }
}

void TDlgLectureInformation::OnReadFailed(const ui::Message& message) {
  // The unit is let go now, as the reading's last step: released, and its port closed when the link was lost.
  const bool linkLost = message.WParam == kReadLinkLost;
  if (reading_) {
    reading_->Step();
  } else if (linkLost) {
    Link.Close();
  } else {
    Link.Release();
  }
  AppendClosingLines(linkLost ? ReadingOutcome::LinkLost : ReadingOutcome::WrongUnit);
  std::string box;
  if (linkLost) {
    box = Format(Text(TXT_LINK_LOST_DETAIL, Language), GetDeviceName().c_str(),
                 static_cast<int>(message.LParam));
  } else {
    // Only the two kinds are ever posted; anything else is shown as a wrong
    // unit too, so that the outcome still enables the buttons again.
    const std::string name = GetDeviceName();
    box = Format(Text(TXT_WRONG_UNIT_DETAIL, Language), name.c_str(), name.c_str());
  }
  toolkit_.Beep(ui::kBeepError);
  toolkit_.ShowErrorBox(box, form_.get());
  ReturnToIdle();
}

void TDlgLectureInformation::OnReadDone() {
  toolkit_.Beep(ui::kBeepOk);
  AppendClosingLines(ReadingOutcome::Ok);
  ReturnToIdle();
}

void TDlgLectureInformation::AppendClosingLines(ReadingOutcome outcome) {
  for (const std::string& line : ClosingLines(outcome, Language)) Append(line);
  // The only line a journal adds, and only when it could not keep the reading: no box stops the user.
  if (journal_.Missed()) Append(Text(TXT_READING_NOT_SAVED, Language));
}
