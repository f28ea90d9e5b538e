// The main window outside a reading: layout, captions, widths, intro lines, language, dialogs, teardown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "text/SettingsFile.h"
#include "forms/DialogChoixLangue.h"
#include "tests/mainwindow/MainWindowFakes.h"

namespace {

using mw::Rig;
using Lines = std::vector<std::string>;

const char kSettings[] = "C:\\windows\\CalvineV1.CFG";

const Lines kFrenchIntro = {
    "Lecture des Informations de votre Satellite de la KVR72 QLE",
    " ",
    "Connecter votre Satellite de la KVR72 QLE au PC",
    "Allumer votre Satellite de la KVR72 QLE.",
    "Choisir ensuite le port serie \340 utiliser.",
    "Et pour lire les informations, appuyer sur le bouton < Lecture des informations >.",
};
const Lines kEnglishIntro = {
    "Reading the information of your Satellite de la KVR72 QLE",
    " ",
    "Connect your Satellite de la KVR72 QLE to the PC",
    "Switch on your Satellite de la KVR72 QLE.",
    "Then choose the serial port to use.",
    "And to read the information, press the button < Read the information >.",
};

// Six pixels a byte, but an accelerator "&" is very wide, so a width that was
// measured without it shows up in the common width.
int WideAmpersand(const std::string& text) {
  int w = 0;
  for (char c : text) w += c == '&' ? 100 : 6;
  return w;
}

TEST(MainButtonLayout, DesignValues) {
  const MainButtonPlaces p = PlaceMainButtons({8, 8, 297, 209}, 25);
  EXPECT_EQ(p.Left, 312);
  EXPECT_EQ(p.Height, 25);
  EXPECT_EQ(p.ReadTop, 8);
  EXPECT_EQ(p.PortTop, 84);
  EXPECT_EQ(p.LanguageTop, 116);
  EXPECT_EQ(p.QuitTop, 192);
}

TEST(MainButtonLayout, MiddleButtonsCentredWithTruncatingDivision) {
  // Free space 200 - 25 - 75 - 7 = 93: an odd remainder is dropped.
  MainButtonPlaces p = PlaceMainButtons({10, 20, 100, 200}, 25);
  EXPECT_EQ(p.Left, 117);
  EXPECT_EQ(p.QuitTop, 195);
  EXPECT_EQ(p.PortTop, 20 + 25 + 46);
  EXPECT_EQ(p.LanguageTop, p.PortTop + 32);
  // A pane too short for four buttons: (50 - 0 - 90 - 7) / 2 = -23, toward zero, not -24.
  p = PlaceMainButtons({0, 0, 50, 80}, 30);
  EXPECT_EQ(p.QuitTop, 50);
  EXPECT_EQ(p.PortTop, 30 - 23);
  EXPECT_EQ(p.LanguageTop, 7 + 30 + 7);
}

TEST(MainWindow, BuiltFromItsDescriptionInOrder) {
  Rig r;
  r.Start();
  fake::FakeForm& form = r.MainForm();
  EXPECT_EQ(r.Toolkit.Forms().front(), &form);  // the first form is the main window
  EXPECT_EQ(form.Style().ClientWidth, 394);
  EXPECT_EQ(form.Style().ClientHeight, 225);
  EXPECT_TRUE(form.Style().CloseBox);
  EXPECT_FALSE(form.Style().StayOnTop);
  EXPECT_FALSE(form.Style().AutoSize);
  EXPECT_EQ(form.Style().FontName, "MS Sans Serif");
  EXPECT_EQ(form.Style().FontHeight, -11);

  // Creation order is the tab order: read, pane, language, quit, port, then the timer.
  const std::vector<fake::FakeButton*>& buttons = form.Buttons();
  ASSERT_EQ(buttons.size(), 4u);
  EXPECT_EQ(buttons[0], &r.Read());
  EXPECT_EQ(buttons[1], &r.Language());
  EXPECT_EQ(buttons[2], &r.Quit());
  EXPECT_EQ(buttons[3], &r.Port());
  ASSERT_EQ(form.Memos().size(), 1u);
  EXPECT_EQ(form.Memos()[0]->GetBounds(), (ui::Bounds{8, 8, 297, 209}));
  ASSERT_EQ(form.Timers().size(), 1u);

  // Laid out, and widths from the default six pixels a byte: "Lecture des informations" is widest.
  EXPECT_EQ(r.Read().GetBounds(), (ui::Bounds{312, 8, 164, 25}));
  EXPECT_EQ(r.Port().GetBounds(), (ui::Bounds{312, 84, 164, 25}));
  EXPECT_EQ(r.Language().GetBounds(), (ui::Bounds{312, 116, 164, 25}));
  EXPECT_EQ(r.Quit().GetBounds(), (ui::Bounds{312, 192, 164, 25}));
  EXPECT_EQ(form.GetBounds().Width, 312 + 164 + 14);
  EXPECT_EQ(form.GetBounds().Height, 225);

  EXPECT_EQ(form.Caption(), "Lecture des Information de votre Satellite de la KVR72 QLE");
  EXPECT_EQ(r.Quit().Caption(), "&Quitter");
  EXPECT_EQ(r.Read().Caption(), "Lecture des informations");
  EXPECT_EQ(r.Port().Caption(), "Configuration du Port");
  EXPECT_EQ(r.Language().Caption(), "Choix de la Langue");
  // The design line is gone: the pane holds the six instruction lines only.
  EXPECT_EQ(r.Lines(), kFrenchIntro);

  EXPECT_EQ(r.Window->ReadStep, 0);
  EXPECT_EQ(r.Window->Language, 0u);
  EXPECT_EQ(r.Window->SettingsPath, "");
  EXPECT_EQ(r.Timer().Interval(), 2000u);
  EXPECT_TRUE(r.Timer().IsEnabled());
  // The port dialog belongs to the main window.
  ASSERT_EQ(r.Toolkit.Forms().size(), 2u);
  EXPECT_EQ(r.Toolkit.Forms()[1]->Owner(), &form);
  // Nothing touches the line at construction.
  EXPECT_TRUE(r.Unit.Transcript.empty());
}

TEST(MainWindow, PreferredPortEnablesReadingAtStart) {
  Rig r;  // COM1 plus the Silicon Labs port COM4
  r.Start();
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_TRUE(r.Port().IsEnabled());
  EXPECT_TRUE(r.Language().IsEnabled());
  EXPECT_TRUE(r.Quit().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM4");
}

TEST(MainWindow, WithoutPreferredPortReadingWaitsAndLinkKeepsCom2) {
  Rig r;
  r.Registry.Values.clear();
  r.Registry.Add("\\Device\\Serial0", "COM1");
  r.Registry.Add("\\Device\\Serial2", "COM3");
  r.Start();
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_TRUE(r.Port().IsEnabled());
  EXPECT_TRUE(r.Language().IsEnabled());
  EXPECT_TRUE(r.Quit().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM2");

  // The port dialog, closed without a choice, hands its port over and enables reading anyway.
  r.Port().Click();
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM1");
}

TEST(MainWindow, PortDialogChoiceReachesTheLink) {
  Rig r;
  r.Start();
  r.Window->SetLanguage(1);
  fake::FakeForm* shown = nullptr;
  r.Toolkit.OnModal = [&](fake::FakeForm& f) {
    shown = &f;
    // The dialog is in the window's language when it opens.
    ASSERT_NE(f.FindButton("Valid"), nullptr);
    fake::FakeRadioGroup& group = *f.RadioGroups().at(0);
    const Lines items = group.Items();
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == "COM1") group.UserSelect(static_cast<int>(i));
    f.FindButton("Valid")->Click();
  };
  r.Port().Click();
  EXPECT_EQ(shown, r.Toolkit.Forms()[1]);
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM1");
  EXPECT_TRUE(r.Read().IsEnabled());
}

TEST(MainWindow, IdleWatchFollowsThePortList) {
  Rig r;
  r.Registry.Values.clear();
  r.Registry.Add("\\Device\\Serial0", "COM1");
  r.Start();
  EXPECT_FALSE(r.Read().IsEnabled());

  // Unchanged list: nothing moves.
  const int scans = r.Registry.Scans();
  r.Tick();
  EXPECT_EQ(r.Registry.Scans(), scans + 1);
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM2");

  r.Registry.Add("\\Device\\Silabser0", "COM4");
  r.Tick();
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM4");

  r.Registry.Values.clear();
  r.Tick();
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM4");  // the link keeps its last port
  EXPECT_EQ(r.Window->ReadStep, 0);
  EXPECT_EQ(r.Timer().Interval(), 2000u);
  EXPECT_TRUE(r.Unit.Transcript.empty());
}

TEST(MainWindowLanguage, EnglishRewritesCaptionsWidthsAndAppendsLines) {
  Rig r;
  r.Toolkit.TextWidthFunction = WideAmpersand;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  // French: "&Quitter" 42 + 100 + 20 = 162 loses to "Lecture des informations" 144 + 20.
  EXPECT_EQ(r.Quit().GetBounds().Width, 164);
  EXPECT_EQ(r.MainForm().GetBounds().Width, 490);

  r.Window->SetLanguage(1);
  EXPECT_EQ(r.Window->Language, 1u);
  EXPECT_EQ(r.MainForm().Caption(), "Reading the information of your Satellite de la KVR72 QLE");
  EXPECT_EQ(r.Quit().Caption(), "&Exit");
  EXPECT_EQ(r.Read().Caption(), "Read the information");
  EXPECT_EQ(r.Port().Caption(), "Serial port settings");
  EXPECT_EQ(r.Language().Caption(), "Language choice");
  // "&Exit" measured with its "&": 24 + 100 + 20 = 144 beats "Read the information" and
  // "Serial port settings", 140 each.
  for (fake::FakeButton* b : {&r.Quit(), &r.Read(), &r.Port(), &r.Language()}) {
    EXPECT_EQ(b->GetBounds().Width, 144);
    EXPECT_EQ(b->GetBounds().Left, 312);
  }
  EXPECT_EQ(r.Port().GetBounds().Top, 84);
  EXPECT_EQ(r.MainForm().GetBounds().Width, 312 + 144 + 14);
  EXPECT_EQ(r.MainForm().GetBounds().Height, 225);

  Lines expected = kFrenchIntro;
  expected.insert(expected.end(), kEnglishIntro.begin(), kEnglishIntro.end());
  EXPECT_EQ(r.Lines(), expected);
  EXPECT_EQ(r.Storage.Files[kSettings], std::string("Langue=1;\x0A\x0D"));
  EXPECT_EQ(r.Storage.Creates, 1);

  // Back to French: six more lines, file rewritten.
  r.Window->SetLanguage(0);
  expected.insert(expected.end(), kFrenchIntro.begin(), kFrenchIntro.end());
  EXPECT_EQ(r.Lines(), expected);
  EXPECT_EQ(r.Storage.Files[kSettings], std::string("Langue=0;\x0A\x0D"));
  EXPECT_EQ(r.MainForm().GetBounds().Width, 490);
}

TEST(MainWindowLanguage, UnchangedOrOutOfRangeDoesNothing) {
  Rig r;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  for (uint32_t index : {0u, 2u, 3u, 0xFFFFFFFFu}) {
    r.Window->SetLanguage(index);
    EXPECT_EQ(r.Window->Language, 0u);
  }
  EXPECT_EQ(r.Lines(), kFrenchIntro);
  EXPECT_EQ(r.Storage.Creates, 0);
}

TEST(MainWindowLanguage, FailedWriteLeavesAfterTheNewLanguageTookHold) {
  Rig r;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  r.Storage.Files[kSettings] = "Langue=0;\n\r";
  r.Storage.CreateFails = true;
  try {
    r.Window->SetLanguage(1);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Impossible de cr\xC3\xA9" "er le fichier C:\\windows\\CalvineV1.CFG");
  }
  EXPECT_EQ(r.Window->Language, 1u);
  EXPECT_EQ(r.Quit().Caption(), "&Exit");
  EXPECT_EQ(r.Lines().size(), 12u);
  EXPECT_EQ(r.Storage.Files[kSettings], "Langue=0;\n\r");

  // A short write is an error too.
  r.Storage.Files[kSettings] = "Langue=1;\n\r";
  r.Storage.CreateFails = false;
  r.Storage.ShortBy = 1;
  EXPECT_THROW(r.Window->SetLanguage(0), ui::Error);
  EXPECT_EQ(r.Window->Language, 0u);
}

TEST(MainWindowLanguage, AWindowsDirectoryThatRefusesTheUserSendsTheFileToTheUsersFolder) {
  const std::string user = "C:\\Users\\tech\\AppData\\Local\\Bravelle\\CalvineV1.CFG";
  Rig r;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  r.Storage.Files[kSettings] = "Langue=0;\n\r";
  r.Storage.StandardAccount();
  r.Window->SetLanguage(1);
  EXPECT_EQ(r.Window->SettingsPath, user);
  EXPECT_EQ(r.Storage.Files[user], "Langue=1;\n\r");
  EXPECT_EQ(r.Storage.Files[kSettings], "Langue=0;\n\r");
  // Later choices go straight to the user's file.
  const int creates = r.Storage.Creates;
  r.Window->SetLanguage(0);
  EXPECT_EQ(r.Storage.Creates, creates + 1);
  EXPECT_EQ(r.Storage.Files[user], "Langue=0;\n\r");
  // Refused there too: the error names the user's file and the language holds.
  r.Storage.DeniedFolders.insert("C:\\Users\\tech\\AppData\\Local\\Bravelle");
  try {
    r.Window->SetLanguage(1);
    FAIL() << "no error";
  } catch (const ui::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Impossible de cr\xC3\xA9" "er le fichier " + user);
  }
  EXPECT_EQ(r.Window->Language, 1u);
}

TEST(MainWindowLanguage, SettingsPathAssignedWhenDifferent) {
  Rig r;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  EXPECT_EQ(r.Window->SettingsPath, kSettings);
  r.Window->SetSettingsPath(kSettings);
  EXPECT_EQ(r.Window->SettingsPath, kSettings);
  r.Window->SetSettingsPath("D:\\x.cfg");
  EXPECT_EQ(r.Window->SettingsPath, "D:\\x.cfg");
}

TEST(MainWindowLanguage, LanguageDialogPreviewsAndApplies) {
  Rig r;
  r.Start();
  TDialogChoixLangue dialog(r.Toolkit);
  r.Window->SetLanguageDialog(&dialog);
  r.Window->SetSettingsPath(kSettings);
  auto& dialogForm = static_cast<fake::FakeForm&>(dialog.Form());

  int shows = 0;
  int chosen = 1;
  r.Toolkit.OnModal = [&](fake::FakeForm& f) {
    ASSERT_EQ(&f, &dialogForm);
    ++shows;
    // Each show starts at the window's language.
    EXPECT_EQ(f.RadioGroups().at(0)->ItemIndex(), static_cast<int>(r.Window->Language));
    f.RadioGroups().at(0)->UserSelect(chosen);
    f.Close();  // by the close box: the highlighted language counts all the same
  };
  r.Language().Click();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(r.Window->Language, 1u);
  EXPECT_EQ(r.Quit().Caption(), "&Exit");
  EXPECT_EQ(r.Storage.Files[kSettings], "Langue=1;\n\r");

  // The same language again: no lines, no write.
  r.Language().Click();
  EXPECT_EQ(shows, 2);
  EXPECT_EQ(r.Lines().size(), 12u);
  EXPECT_EQ(r.Storage.Creates, 1);

  // A failed write is shown by the toolkit, and the program goes on in French.
  r.Storage.CreateFails = true;
  chosen = 0;
  r.Language().Click();
  EXPECT_EQ(r.Window->Language, 0u);
  EXPECT_EQ(r.Toolkit.ApplicationErrors,
            Lines{"Impossible de cr\xC3\xA9" "er le fichier C:\\windows\\CalvineV1.CFG."});
  EXPECT_EQ(r.Storage.Files[kSettings], "Langue=1;\n\r");
}

TEST(StartUp, AStoredLanguageWhoseFileRefusesItsRewriteStillStarts) {
  const std::string user = "C:\\Users\\tech\\AppData\\Local\\Bravelle\\CalvineV1.CFG";
  Rig r;
  r.Storage.Folders.insert("C:\\Users\\tech\\AppData\\Local\\Bravelle");
  r.Storage.Files[user] = "Langue=1;\n\rMode=3;";
  r.Storage.CreateErrors[user] = 5;  // read-only: ERROR_ACCESS_DENIED
  std::string caption = "not shown";
  r.Toolkit.OnRun = [&](fake::FakeForm& main) { caption = main.Caption(); };
  EXPECT_EQ(RunApplication(r.Services), 0);
  EXPECT_EQ(caption, "Reading the information of your Satellite de la KVR72 QLE");
  EXPECT_TRUE(r.Toolkit.ApplicationErrors.empty());
  EXPECT_EQ(r.Storage.Files[user], "Langue=1;\n\rMode=3;");
}

TEST(MainWindow, MessagesOtherThanTheTwoGoToTheToolkit) {
  Rig r;
  r.Start();
  EXPECT_FALSE(r.Window->HandleMessage({1024, 0, 0}));
  EXPECT_FALSE(r.Window->HandleMessage({1026, 0, 0}));
  EXPECT_FALSE(r.Window->HandleMessage({fake::kWmClose, 0, 0}));
  // An unhandled WM_CLOSE closes the window as the toolkit would.
  r.MainForm().PostMessage({fake::kWmClose, 0, 0});
  r.Toolkit.DeliverPosted();
  EXPECT_EQ(r.MainForm().CloseCount(), 1);
}

TEST(MainWindow, QuitClosesAndTeardownReleasesTheUnitFirst) {
  Rig r;
  r.Start();
  r.ReadToEnd();
  r.Quit().Click();
  EXPECT_EQ(r.MainForm().CloseCount(), 1);

  size_t formsAtClose = 0;
  r.Unit.OnClose = [&] { formsAtClose = r.Toolkit.Forms().size(); };
  const size_t mark = r.Unit.Transcript.size();
  r.Window.reset();
  // Destructor's release (the unit is already free, so no baud request), then
  // Close's own release, then the port goes, while the window and the port dialog still exist.
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">04 <04 >04 <04 close");
  EXPECT_EQ(formsAtClose, 2u);
  EXPECT_TRUE(r.Toolkit.Forms().empty());
}

TEST(MainWindow, SavedReadingsOpenTheirFolderFromTheSystemMenu) {
  Rig r;
  r.Start();
  r.Window->SetSettingsPath(kSettings);
  EXPECT_EQ(r.MainForm().SystemMenuItem(), "Lectures enregistr\351es\205");
  r.Window->SetLanguage(1);
  EXPECT_EQ(r.MainForm().SystemMenuItem(), "Saved readings\205");
  // The folder is made for it when no reading was kept yet.
  const std::string folder = "C:\\Users\\tech\\AppData\\Local\\Bravelle";
  r.MainForm().PickSystemMenuItem();
  EXPECT_EQ(r.Toolkit.OpenedFolders, Lines{folder});
  EXPECT_EQ(r.Storage.Folders.count(folder), 1u);
  EXPECT_TRUE(r.Toolkit.Beeps.empty());
  // A system that names no user folder, then a file browser that cannot show it: a beep each time.
  r.Storage.LocalAppData.clear();
  r.MainForm().PickSystemMenuItem();
  r.Storage.LocalAppData = "C:\\Users\\tech\\AppData\\Local";
  r.Toolkit.FolderOpens = false;
  r.MainForm().PickSystemMenuItem();
  EXPECT_EQ(r.Toolkit.OpenedFolders, (Lines{folder, folder}));
  EXPECT_EQ(r.Toolkit.Beeps, (std::vector<uint32_t>{ui::kBeepError, ui::kBeepError}));
}

TEST(MainWindow, TeardownOfANeverOpenedPortSendsNothing) {
  Rig r;
  r.Start();
  r.Window.reset();
  EXPECT_TRUE(r.Unit.Transcript.empty());
  EXPECT_EQ(r.Unit.CloseCount, 0);
}

}  // namespace
