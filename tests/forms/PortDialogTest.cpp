// TConfPort over a scripted registry and the fake toolkit: parsing, the scan and its choice, the dialog's layout and buttons.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "text/TextCatalogue.h"
#include "forms/TConfigurationPort.h"
#include "tests/support/FakePortRegistry.h"
#include "tests/support/FakeToolkit.h"

namespace {

using Entries = std::vector<std::string>;

class PortDialog : public ::testing::Test {
 protected:
  PortDialog() { dialog = std::make_unique<TConfPort>(toolkit, nullptr, registry, locale); }

  fake::FakeForm& Form() { return static_cast<fake::FakeForm&>(dialog->Form()); }
  fake::FakeRadioGroup& Group() { return static_cast<fake::FakeRadioGroup&>(*dialog->RadioGroupPortSerie); }
  fake::FakeButton& Validation() { return static_cast<fake::FakeButton&>(*dialog->Validation); }
  fake::FakeButton& Search() { return static_cast<fake::FakeButton&>(*dialog->ButtonRecherchePort); }

  // n plain ports COM1 .. COMn.
  void AddPorts(int n) {
    for (int i = 1; i <= n; ++i) registry.Add("\\Device\\Serial" + std::to_string(i - 1), "COM" + std::to_string(i));
  }

  fake::FakeToolkit toolkit;
  fake::FakePortRegistry registry;
  fake::FakeTextLocale locale;
  std::unique_ptr<TConfPort> dialog;
};

const char kMarked[] = " : KORVANE";

TEST_F(PortDialog, ParsePortNumberReadsTheListedTexts) {
  struct Case {
    const char* text;
    int32_t number;
  } cases[] = {
      {"COM1", 1},
      {"COM10", 10},
      {"COM100", 100},
      {"com7", 7},
      {"  COM3  ", 3},
      {"COM3 : KORVANE", 3},
      {"COM", 0},
      {"COMX1", 0},
      {"COM0", 0},
      {"XY12", 12},
      {"AB", 0},
      {"", 0},
      {"X", 0},
      {"COM2147483647", 2147483647},
      {"COM2147483648", 0},
      {"COM99999999999999999999", 0},
      // Leading zeros do not count towards the limit.
      {"COM000000000000000000002147483647", 2147483647},
      {"COM0007", 7},
      {"COM 5", 0},
      {"COM5X9", 5},
      // Every code below 33 is trimmed from both ends, so the digits stay at the third character.
      {"\t\r\n\x01XY12\x1f ", 12},
      {"\x7fXY12", 0},
      // The first "COM" counts.
      {"COM4COM5", 4},
      {"ABCOM6", 6},
  };
  for (const Case& c : cases) EXPECT_EQ(dialog->ParsePortNumber(c.text), c.number) << '"' << c.text << '"';
}

TEST_F(PortDialog, ParsePortNumberUpperCasesThroughTheLocale) {
  const int before = locale.UpperCalls;
  EXPECT_EQ(dialog->ParsePortNumber("cOm12"), 12);
  EXPECT_EQ(locale.UpperCalls, before + 1);
  EXPECT_EQ(registry.Scans(), 0) << "parsing uses no dialog state";
}

TEST_F(PortDialog, ConstructionBuildsTheLayoutInFrenchWithoutScanning) {
  const ui::FormStyle& style = Form().Style();
  EXPECT_EQ(style.ClientWidth, 251);
  EXPECT_EQ(style.ClientHeight, 49);
  EXPECT_TRUE(style.CloseBox);
  EXPECT_TRUE(style.StayOnTop);
  EXPECT_TRUE(style.AutoSize);
  EXPECT_EQ(style.BorderWidth, 10);
  EXPECT_EQ(style.FontName, "MS Sans Serif");
  EXPECT_EQ(style.FontHeight, -11);
  EXPECT_EQ(Form().Owner(), nullptr);

  // Tab order is creation order: Validation, the group, the search button.
  ASSERT_EQ(Form().Buttons().size(), 2u);
  EXPECT_EQ(Form().Buttons()[0], &Validation());
  EXPECT_EQ(Form().Buttons()[1], &Search());
  ASSERT_EQ(Form().RadioGroups().size(), 1u);
  EXPECT_EQ(Validation().GetBounds(), (ui::Bounds{0, 24, 97, 25}));
  EXPECT_EQ(Group().GetBounds(), (ui::Bounds{3, 0, 89, 17}));
  EXPECT_EQ(Search().GetBounds(), (ui::Bounds{104, 24, 147, 25}));

  EXPECT_EQ(Form().Caption(), "Comfiguration du port s\xE9rie");
  EXPECT_EQ(Group().Caption(), "Port s\xE9rie");
  EXPECT_EQ(Validation().Caption(), "Valider");
  EXPECT_EQ(Search().Caption(), "Recherche des Ports");

  EXPECT_EQ(dialog->Language(), 0u);
  EXPECT_EQ(dialog->SelectedIndex(), -1);
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_TRUE(dialog->PortList().empty());
  EXPECT_EQ(registry.Scans(), 0);
  EXPECT_EQ(registry.OpenCalls, 0);
}

TEST_F(PortDialog, SetLanguageAcceptsOnlyAChangeToZeroOrOne) {
  dialog->SetLanguage(1);
  EXPECT_EQ(dialog->Language(), 1u);
  EXPECT_EQ(Form().Caption(), "Serial port settings");
  EXPECT_EQ(Group().Caption(), "Serial port");
  EXPECT_EQ(Validation().Caption(), "Valid");
  EXPECT_EQ(Search().Caption(), "ports searching");

  dialog->SetLanguage(2);
  dialog->SetLanguage(0xFFFFFFFFu);
  EXPECT_EQ(dialog->Language(), 1u);
  EXPECT_EQ(Validation().Caption(), "Valid");

  // The current language again: the captions are not rewritten.
  Validation().SetCaption("tampered");
  dialog->SetLanguage(1);
  EXPECT_EQ(Validation().Caption(), "tampered");

  dialog->SetLanguage(0);
  EXPECT_EQ(Validation().Caption(), "Valider");
  EXPECT_EQ(Form().Caption(), "Comfiguration du port s\xE9rie");
}

TEST_F(PortDialog, EntriesSortAsTextAndTheMarkFollowsSilabser) {
  registry.Add("\\Device\\Serial2", "COM3");
  registry.Add("\\Device\\Serial9", "COM10");
  registry.Add("\\Device\\Serial1", "COM2");
  registry.Add("\\Device\\Silabser0", "COM4");
  // Case-sensitive: this one is no Silicon Labs port.
  registry.Add("\\Device\\silabser1", "COM5");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM10", "COM2", "COM3", std::string("COM4") + kMarked, "COM5"}));
  EXPECT_EQ(dialog->SelectedIndex(), 3);
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_TRUE(dialog->IsPreferredPort());
  EXPECT_EQ(registry.SubkeysAsked.front(), "HARDWARE\\DEVICEMAP\\SERIALCOMM");
  EXPECT_FALSE(registry.Open) << "the key is closed after the scan";
}

TEST_F(PortDialog, DuplicateDataGivesOneEntryUnlessOneIsMarked) {
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Serial1", "COM1");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1"}));

  registry.Add("\\Device\\Silabser0", "COM1");
  registry.Add("\\Device\\Silabser1", "COM1");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1", std::string("COM1") + kMarked}));
  EXPECT_EQ(dialog->SelectedIndex(), 1);
}

TEST_F(PortDialog, EntriesTheLocaleFindsEqualAreListedOnce) {
  locale.IgnoreCase = true;
  registry.Add("\\Device\\Serial0", "com3");
  registry.Add("\\Device\\Serial1", "COM3");
  registry.Add("\\Device\\Serial2", "Com1");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"Com1", "com3"}));
}

TEST_F(PortDialog, OnlyTextValuesAreTakenAndUnreadableOnesAreLeftOut) {
  registry.Add("\\Device\\Serial0", "COM1", fake::kRegDword);
  registry.Add("\\Device\\Serial1", "COM2", kRegExpandSz);
  registry.Add("\\Device\\Serial2", "COM3", fake::kRegMultiSz);
  registry.Add("\\Device\\Serial3", "COM4", fake::kRegBinary);
  registry.Add("\\Device\\Serial4", "COM5");
  registry.Add("\\Device\\Serial5", "COM6");
  registry.Add("\\Device\\Serial6", "COM7");
  registry.Add("\\Device\\Serial7", "%SystemRoot%");
  registry.Add("\\Device\\Serial8", "", kRegSz);
  registry.FailTypeOf.insert("\\Device\\Serial5");
  registry.FailTextOf.insert("\\Device\\Serial6");
  registry.FailEnumAt.insert(0);
  ASSERT_TRUE(dialog->ScanPorts());
  // An empty text is an entry like any other, and REG_EXPAND_SZ is not expanded.
  EXPECT_EQ(dialog->PortList(), (Entries{"", "%SystemRoot%", "COM2", "COM5"}));
}

TEST_F(PortDialog, NamesAndDataOfAnyLengthAreRead) {
  const std::string longName = "\\Device\\Silabser" + std::string(20000, 'x');
  const std::string longData = "COM77" + std::string(100000, ' ') + "tail";
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add(longName, longData);
  ASSERT_TRUE(dialog->ScanPorts());
  // The name buffer holds the longest name and its NUL.
  ASSERT_FALSE(registry.CapacitiesGiven.empty());
  EXPECT_EQ(registry.CapacitiesGiven.front(), longName.size() + 1);
  ASSERT_EQ(dialog->PortList().size(), 2u);
  EXPECT_EQ(dialog->PortList()[1], longData + kMarked);
  EXPECT_EQ(dialog->PortNumber(), 77);
}

TEST_F(PortDialog, AWrongLongestNameLengthCostsOnlyTheNamesThatDoNotFit) {
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Serial10", "COM2");
  registry.ReportedMaxNameLength = 15;  // one too short for the second name
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1"}));

  registry.ReportedMaxNameLength = 0xFFFFFFFF;
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1", "COM2"}));
  EXPECT_EQ(registry.CapacitiesGiven.back(), 0xFFFFFFFFu);
}

TEST_F(PortDialog, TheFirstMarkedEntryInListOrderIsSelected) {
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Silabser1", "COM9");
  registry.Add("\\Device\\Silabser0", "COM6");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1", std::string("COM6") + kMarked, std::string("COM9") + kMarked}));
  EXPECT_EQ(dialog->SelectedIndex(), 1);
  EXPECT_EQ(dialog->PortNumber(), 6);

  registry.Values.erase(registry.Values.begin());
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->SelectedIndex(), 0);
  EXPECT_EQ(dialog->PortNumber(), 6);
}

TEST_F(PortDialog, WithoutAMarkThePreviousPortStaysSelectedWhereverItSorts) {
  registry.Add("\\Device\\Serial4", "COM5");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortNumber(), 5);

  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Serial8", "COM9");
  registry.Add("\\Device\\Serial9", "COM10");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1", "COM10", "COM5", "COM9"}));
  EXPECT_EQ(dialog->SelectedIndex(), 2);
  EXPECT_EQ(dialog->PortNumber(), 5);

  // Two entries with that number: the last one walked wins.
  registry.Add("\\Device\\Serial5", "COM05");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM05", "COM1", "COM10", "COM5", "COM9"}));
  EXPECT_EQ(dialog->SelectedIndex(), 3);

  // Gone: the first entry is taken.
  registry.Values.erase(registry.Values.begin());
  registry.Values.pop_back();
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1", "COM10", "COM9"}));
  EXPECT_EQ(dialog->SelectedIndex(), 0);
  EXPECT_EQ(dialog->PortNumber(), 1);
}

TEST_F(PortDialog, AtTheFirstScanAnEntryWithoutANumberMatchesThePreviousZero) {
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Serial1", "COMX");
  registry.Add("\\Device\\Serial2", "COM2");
  ASSERT_TRUE(dialog->ScanPorts());
  EXPECT_EQ(dialog->SelectedIndex(), 2);
  EXPECT_EQ(dialog->PortList()[2], "COMX");
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_FALSE(dialog->IsPreferredPort());
}

TEST_F(PortDialog, EveryFailurePathEmptiesTheListAndKeepsTheSelectedIndex) {
  struct Path {
    const char* what;
    void (*arrange)(fake::FakePortRegistry&);
    bool result;
  } paths[] = {
      {"key absent", [](fake::FakePortRegistry& r) { r.KeyPresent = false; }, true},
      {"key does not open", [](fake::FakePortRegistry& r) { r.FailOpen = true; }, false},
      {"information unreadable", [](fake::FakePortRegistry& r) { r.FailQueryInfo = true; }, false},
      {"no values", [](fake::FakePortRegistry& r) { r.Values.clear(); }, true},
      {"no name readable", [](fake::FakePortRegistry& r) { r.FailEnumAt = {0, 1, 2}; }, true},
      {"no text values",
       [](fake::FakePortRegistry& r) {
         for (auto& v : r.Values) v.Type = fake::kRegDword;
       },
       true},
  };
  for (const Path& p : paths) {
    SCOPED_TRACE(p.what);
    fake::FakePortRegistry fresh;
    fresh.Add("\\Device\\Serial0", "COM1");
    fresh.Add("\\Device\\Serial1", "COM2");
    fresh.Add("\\Device\\Serial2", "COM3");
    TConfPort d(toolkit, nullptr, fresh, locale);
    fresh.Values[2].Name = "\\Device\\Silabser2";
    ASSERT_TRUE(d.ScanPorts());
    ASSERT_EQ(d.SelectedIndex(), 2);
    ASSERT_EQ(d.PortNumber(), 3);

    p.arrange(fresh);
    EXPECT_EQ(d.ScanPorts(), p.result);
    EXPECT_TRUE(d.PortList().empty());
    EXPECT_FALSE(d.HasPort());
    EXPECT_EQ(d.SelectedIndex(), 2);
    EXPECT_EQ(d.PortNumber(), 0) << "PortNumber rescans when there is no port, and finds none";
    EXPECT_FALSE(d.IsPreferredPort());
    EXPECT_EQ(d.SelectedIndex(), 2);
    EXPECT_FALSE(fresh.Open);
  }
}

TEST_F(PortDialog, TheKeyIsClosedWhenAnExceptionLeavesTheScan) {
  AddPorts(3);
  locale.ThrowOnCompare = true;
  EXPECT_THROW(dialog->ScanPorts(), std::runtime_error);
  EXPECT_FALSE(registry.Open);
  EXPECT_GE(registry.CloseCalls, 1);
}

TEST_F(PortDialog, PortChangedReportsOnlyAChangeFoundByASuccessfulScan) {
  registry.Add("\\Device\\Serial2", "COM3");
  EXPECT_TRUE(dialog->PortChanged());
  EXPECT_EQ(dialog->PortNumber(), 3);
  EXPECT_FALSE(dialog->PortChanged());

  registry.Add("\\Device\\Silabser0", "COM8");
  EXPECT_TRUE(dialog->PortChanged());
  EXPECT_EQ(dialog->PortNumber(), 8);

  // The number drops to 0, but a failed scan reports no change.
  registry.FailQueryInfo = true;
  EXPECT_FALSE(dialog->PortChanged());
  EXPECT_FALSE(dialog->HasPort());

  // Readable again: a change from 0. Then the key vanishes, which is no failure.
  registry.FailQueryInfo = false;
  EXPECT_TRUE(dialog->PortChanged());
  registry.KeyPresent = false;
  EXPECT_TRUE(dialog->PortChanged());
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_FALSE(dialog->PortChanged());
}

TEST_F(PortDialog, OnlyAMissingPortMakesTheQuestionsScan) {
  EXPECT_EQ(dialog->PortNumber(), 0);
  EXPECT_EQ(registry.Scans(), 1);
  EXPECT_FALSE(dialog->IsPreferredPort());
  EXPECT_EQ(registry.Scans(), 2);
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_EQ(registry.Scans(), 2);

  registry.Add("\\Device\\Silabser0", "COM4");
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_EQ(registry.Scans(), 3);
  EXPECT_TRUE(dialog->HasPort());
  EXPECT_TRUE(dialog->IsPreferredPort());
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_EQ(registry.Scans(), 3);

  // Without a scan the answers stay those of the last one.
  registry.Values.clear();
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_TRUE(dialog->HasPort());
  EXPECT_TRUE(dialog->IsPreferredPort());
  EXPECT_EQ(registry.Scans(), 3);
}

struct LayoutCase {
  int entries;
  int columnsKept;  // by the group
  int height;
  int width;
};

TEST_F(PortDialog, FormShowLaysTheGroupOutInColumnsOfTen) {
  const LayoutCase cases[] = {
      {3, 1, 65, 150},   // 5 rows
      {10, 1, 156, 150}, // 12 rows
      {11, 2, 156, 300},
      {25, 3, 156, 450},
      {30, 3, 156, 450},
      {31, 4, 156, 600},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.entries);
    registry.Values.clear();
    AddPorts(c.entries);
    Search().Click();
    EXPECT_EQ(Group().Items().size(), static_cast<size_t>(c.entries));
    EXPECT_EQ(Group().Columns(), c.columnsKept);
    EXPECT_EQ(Group().GetBounds(), (ui::Bounds{3, 0, c.width, c.height}));
    EXPECT_EQ(Validation().GetBounds(), (ui::Bounds{0, c.height + 10, 97, 25}));
    EXPECT_EQ(Search().GetBounds(), (ui::Bounds{104, c.height + 10, 147, 25}));
    // Sized around the controls, with the border on each side.
    EXPECT_EQ(Form().ClientWidth(), std::max(3 + c.width, 251) + 20);
    EXPECT_EQ(Form().ClientHeight(), c.height + 10 + 25 + 20);
  }
  EXPECT_EQ(toolkit.ErrorBoxes.size(), 0u);
}

TEST_F(PortDialog, FormShowWithoutPortsGivesAnEmptyFullHeightGroup) {
  AddPorts(2);
  Search().Click();
  ASSERT_EQ(Group().ItemIndex(), 0);
  registry.Values.clear();
  Search().Click();
  EXPECT_TRUE(Group().Items().empty());
  EXPECT_EQ(Group().ItemIndex(), -1) << "the earlier index is clamped by the empty group";
  EXPECT_EQ(dialog->SelectedIndex(), 0);
  EXPECT_EQ(Group().Columns(), 1);
  EXPECT_EQ(Group().GetBounds(), (ui::Bounds{3, 0, 0, 156}));
  EXPECT_EQ(Validation().GetBounds().Top, 166);
  EXPECT_EQ(Search().GetBounds().Top, 166);
}

TEST_F(PortDialog, FormShowMeasuresRowsWithTheGroupsFontAndTop) {
  AddPorts(3);
  Group().SetTop(7);
  Search().Click();
  EXPECT_EQ(Group().GetBounds(), (ui::Bounds{3, 7, 150, 72}));
  EXPECT_EQ(Validation().GetBounds().Top, 82);
}

TEST_F(PortDialog, ShowingTheDialogListsThePortsAndHighlightsTheChoice) {
  registry.Add("\\Device\\Serial2", "COM3");
  registry.Add("\\Device\\Serial9", "COM10");
  registry.Add("\\Device\\Silabser0", "COM4");
  registry.Add("\\Device\\Serial1", "COM2");
  std::vector<std::string> seen;
  int highlighted = -2;
  toolkit.OnModal = [&](fake::FakeForm& f) {
    ASSERT_EQ(&f, &Form());
    seen = Group().Items();
    highlighted = Group().ItemIndex();
    Validation().Click();
  };
  dialog->ShowModal();
  EXPECT_EQ(seen, (Entries{"COM10", "COM2", "COM3", std::string("COM4") + kMarked}));
  EXPECT_EQ(highlighted, 3);
  EXPECT_EQ(Form().CloseCount(), 1);
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_TRUE(toolkit.ErrorBoxes.empty());
}

TEST_F(PortDialog, AFailedScanShowsTheErrorBoxAndClosesTheDialog) {
  AddPorts(2);
  Search().Click();
  ASSERT_EQ(Group().Items().size(), 2u);

  registry.FailQueryInfo = true;
  bool userActed = false;
  size_t pendingWhileBoxOpen = 99;
  toolkit.OnErrorBox = [&](const std::string&) { pendingWhileBoxOpen = toolkit.PendingMessages(); };
  toolkit.OnModal = [&](fake::FakeForm&) { userActed = true; };
  dialog->ShowModal();
  ASSERT_EQ(toolkit.ErrorBoxes, (Entries{" Pas de port serie"}));
  EXPECT_EQ(pendingWhileBoxOpen, 0u) << "WM_CLOSE is posted once the box is closed";
  EXPECT_EQ(Form().CloseCount(), 1);
  EXPECT_FALSE(userActed);
  // The group keeps what it showed.
  EXPECT_EQ(Group().Items(), (Entries{"COM1", "COM2"}));
  EXPECT_FALSE(dialog->HasPort());

  // The same from the search button while the dialog is open; the text stays French in English.
  dialog->SetLanguage(1);
  Search().Click();
  EXPECT_EQ(toolkit.ErrorBoxes.size(), 2u);
  EXPECT_EQ(toolkit.ErrorBoxes.back(), " Pas de port serie");
  EXPECT_EQ(toolkit.PendingMessages(), 1u);
  toolkit.DeliverPosted();
  EXPECT_EQ(Form().CloseCount(), 2);
  // Each box belongs to the dialog, so that it stands in front of a dialog that stays on top.
  EXPECT_EQ(toolkit.ErrorBoxOwners, (std::vector<const ui::Form*>{&Form(), &Form()}));
}

TEST_F(PortDialog, ValidationTakesTheGroupsItemNotTheRescannedList) {
  AddPorts(3);
  toolkit.OnModal = [&](fake::FakeForm&) {
    Group().UserSelect(2);
    // The idle watch rescans under the open dialog; the list shrinks to one port.
    registry.Values.erase(registry.Values.begin(), registry.Values.begin() + 2);
    registry.Values[0].Text = "COM7";
    EXPECT_TRUE(dialog->PortChanged());
    Validation().Click();
  };
  dialog->ShowModal();
  EXPECT_EQ(dialog->PortNumber(), 3);
  EXPECT_EQ(dialog->SelectedIndex(), 2);
  EXPECT_EQ(dialog->PortList(), (Entries{"COM7"}));
  EXPECT_EQ(Form().CloseCount(), 1);
  // The index now lies past the list: not the preferred port, and nothing read outside.
  EXPECT_FALSE(dialog->IsPreferredPort());
  // The previous number 3 is gone, so the next scan takes the first entry.
  EXPECT_TRUE(dialog->PortChanged());
  EXPECT_EQ(dialog->PortNumber(), 7);
}

TEST_F(PortDialog, ValidationOnAnEmptyGroupClearsTheChoice) {
  AddPorts(1);
  ASSERT_EQ(dialog->PortNumber(), 1);
  // Never shown, so the group is empty even though the list is not.
  Validation().Click();
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_EQ(dialog->SelectedIndex(), -1);
  EXPECT_EQ(Form().CloseCount(), 1);
  EXPECT_EQ(dialog->PortList(), (Entries{"COM1"}));

  // Shown over an empty key: the group has no items to highlight.
  registry.Values.clear();
  toolkit.OnModal = [&](fake::FakeForm&) { Validation().Click(); };
  dialog->ShowModal();
  EXPECT_TRUE(Group().Items().empty());
  EXPECT_FALSE(dialog->HasPort());
  EXPECT_EQ(dialog->SelectedIndex(), -1);
  EXPECT_EQ(Form().CloseCount(), 2);
}

TEST_F(PortDialog, AMarkedPortWinsOverTheUsersChoiceAtTheNextScan) {
  registry.Add("\\Device\\Serial0", "COM1");
  registry.Add("\\Device\\Silabser0", "COM4");
  ASSERT_TRUE(dialog->PortChanged());
  toolkit.OnModal = [&](fake::FakeForm&) {
    Group().UserSelect(0);
    Validation().Click();
  };
  dialog->ShowModal();
  EXPECT_EQ(dialog->PortNumber(), 1);
  EXPECT_FALSE(dialog->IsPreferredPort());
  EXPECT_TRUE(dialog->PortChanged());
  EXPECT_EQ(dialog->PortNumber(), 4);
  EXPECT_TRUE(dialog->IsPreferredPort());
}

TEST_F(PortDialog, FormDestroyReleasesTheList) {
  AddPorts(2);
  ASSERT_TRUE(dialog->ScanPorts());
  dialog->FormDestroy();
  EXPECT_TRUE(dialog->PortList().empty());
  EXPECT_FALSE(dialog->ScanPorts());
  EXPECT_FALSE(dialog->HasPort());
  // Destroying the dialog after that runs FormDestroy once more, harmlessly.
  dialog.reset();
  EXPECT_TRUE(toolkit.ApplicationErrors.empty());
}

}  // namespace
