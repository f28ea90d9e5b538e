// Readings across ports that vanish, come back, change or garble: the window reads the unit that is there, or
// says it cannot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/mainwindow/MainWindowFakes.h"

namespace {

using mw::Rig;
using Lines = std::vector<std::string>;

constexpr size_t kIntro = 6;
constexpr size_t kReadingLines = 14;
const char kSerialLine7[] = "Le num\351ro de s\351rie est : 0000000007.";
const char kTransferOk[] = "Transmission r\351ussie";
const char kLinkLostLine[] = "L'appareil ne r\351pond plus correctement";

bool Contains(const Lines& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line) return true;
  return false;
}

// The Silicon Labs adapter of COM4 is pulled out and its SERIALCOMM value goes;
// the other port stays listed.
void UnplugCom4(Rig& r) {
  r.Unit.Unplug();
  r.Registry.Remove("COM4");
}

// The next unit's adapter comes back as COM4.
void PlugInCom4(Rig& r, uint32_t serial) {
  r.Unit.PlugIn();
  r.Unit.SetSerialNumber(serial);
  r.Registry.Add("\\Device\\Silabser0", "COM4");
}

// Unplugged while idle with no port left at all: the idle watch disables the
// read button and gives up the dead handle, so the next unit on COM4 is
// opened afresh and read at the first attempt.
TEST(Recovery, UnitUnpluggedWhileIdleAndNextOneOnTheSamePort) {
  Rig r;
  r.Registry.Remove("COM1");
  r.Start();
  r.ReadToEnd();
  ASSERT_EQ(r.Lines().size(), kIntro + kReadingLines);

  UnplugCom4(r);
  r.Tick();
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_EQ(r.Unit.Transcript.back(), "close dead");

  PlugInCom4(r, 7);
  r.Tick();
  ASSERT_TRUE(r.Read().IsEnabled());
  const size_t mark = r.Unit.Transcript.size();
  EXPECT_EQ(r.ReadToEnd(), 6);  // no retry: the first handshake succeeds
  const Lines second = r.LinesFrom(kIntro + kReadingLines);
  ASSERT_EQ(second.size(), kReadingLines);
  EXPECT_EQ(second[5], kSerialLine7);
  EXPECT_EQ(r.Unit.TranscriptFrom(mark).substr(0, 24), "open COM4 purge >80 <81 ");
  EXPECT_EQ(r.Unit.OpenCount, 2);
}

// Unplugged and plugged in again between two idle ticks: the port list looks
// unchanged, so the link still holds the dead handle when the reading starts.
// The failed connect request closes it; the second attempt opens the new unit.
TEST(Recovery, UnitSwappedUnnoticedBetweenTwoIdleTicks) {
  Rig r;
  r.Start();
  r.ReadToEnd();
  r.Unit.Unplug();
  r.Unit.PlugIn();
  r.Unit.SetSerialNumber(7);
  r.Tick();
  const size_t mark = r.Unit.Transcript.size();
  EXPECT_EQ(r.ReadToEnd(), 7);  // one failed handshake, then the six steps
  const Lines second = r.LinesFrom(kIntro + kReadingLines);
  ASSERT_EQ(second.size(), kReadingLines);
  EXPECT_EQ(second[5], kSerialLine7);
  EXPECT_EQ(r.Unit.TranscriptFrom(mark).substr(0, 35), "close dead open COM4 purge >80 <81 ");
}

// Unplugged in the middle of the serial number: the reading ends as a lost
// link with the system's error in the box, never as a success; the port is
// closed, and the next unit is read at the first attempt.
TEST(Recovery, UnitUnpluggedDuringAReading) {
  Rig r;
  r.Start();
  r.Read().Click();
  r.Tick();  // handshake
  r.Tick();  // type
  UnplugCom4(r);
  r.Tick();  // the serial number fails
  r.Toolkit.DeliverPosted();
  const Lines lines = r.LinesFrom(kIntro);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[6], kLinkLostLine);
  EXPECT_FALSE(Contains(lines, kTransferOk));
  ASSERT_EQ(r.Toolkit.ErrorBoxes.size(), 1u);
  EXPECT_NE(r.Toolkit.ErrorBoxes[0].find("(code 22)"), std::string::npos);
  EXPECT_EQ(r.Unit.Transcript.back(), "close dead");

  PlugInCom4(r, 7);
  r.Tick();  // the idle watch sees COM4 back
  EXPECT_EQ(r.ReadToEnd(), 6);
  const Lines second = r.LinesFrom(kIntro + 7);
  ASSERT_EQ(second.size(), kReadingLines);
  EXPECT_EQ(second[5], kSerialLine7);
}

// The chosen port changes while the link still holds the old one open: the
// old port is released and closed, and the reading goes to the new port (where
// nothing answers here), never to the unit still sitting on the old one.
TEST(Recovery, PortChosenLaterIsThePortRead) {
  Rig r;
  r.Start();
  r.ReadToEnd();
  ASSERT_TRUE(r.Unit.IsOpen());
  r.Registry.Remove("COM4");  // COM1 is left and becomes the chosen port
  const size_t mark = r.Unit.Transcript.size();
  r.Tick();
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM1");
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">04 <04 close");
  EXPECT_FALSE(r.Unit.IsOpen());

  const size_t lines = r.Lines().size();
  r.Read().Click();
  for (int i = 0; i < 5; ++i) r.Tick();
  EXPECT_EQ(r.Lines().size(), lines);  // COM1 does not open: no reading of COM4's unit
  EXPECT_EQ(r.Unit.OpenCount, 1);
}

// Noise in the unit's answers ends the reading as a lost link with
// COMERR_BAD_REPLY; no made-up serial number, no success.
TEST(Recovery, GarbledAnswersAreNeverASuccess) {
  Rig r;
  r.Unit.GarbleMemory = true;
  r.Start();
  r.ReadToEnd();
  const Lines lines = r.LinesFrom(kIntro);
  EXPECT_EQ(lines, (Lines{"Appareil connect\351", " ", "V\351rification du type d'appareil.",
                          "Vous avez bien connect\351 un appareil Satellite de la KVR72 QLE.", " ", " ",
                          kLinkLostLine}));
  ASSERT_EQ(r.Toolkit.ErrorBoxes.size(), 1u);
  EXPECT_NE(r.Toolkit.ErrorBoxes[0].find("(code 100003)"), std::string::npos);
  EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepError});
}

// A unit that writes its hex digits in lowercase is read at the same values.
TEST(Recovery, LowercaseAnswersReadAtTheirValues) {
  Rig r;
  r.Unit.Lowercase = true;
  r.Unit.SetSerialNumber(0xFEDCBA98u);  // every letter in the serial number
  r.Unit.SetSoftwareVersion(0x1A, 0x0C);
  r.Start();
  r.ReadToEnd();
  const Lines lines = r.LinesFrom(kIntro);
  ASSERT_EQ(lines.size(), kReadingLines);
  EXPECT_EQ(lines[5], "Le num\351ro de s\351rie est : 4275878552.");
  EXPECT_EQ(lines[7], " La version du logiciel est 26.12");
  EXPECT_EQ(lines[8], kTransferOk);
}

}  // namespace
