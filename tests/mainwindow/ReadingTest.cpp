// The reading driven tick by tick against a scripted unit: pane lines, bytes, beeps, boxes and buttons.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/mainwindow/MainWindowFakes.h"
#include "tests/support/CompleteReadingPane.h"

namespace {

using mw::Rig;
using Lines = std::vector<std::string>;

constexpr size_t kIntro = 6;

// CP1252 letters as octal escapes (\351 e acute, \340 a grave, \342 a circumflex):
// unlike \x they end after three digits, so no literal has to be split.

const Lines kFrenchReading = CompleteReadingPane("fr");

const char kLinkLostFrench[] =
    "L'appareil Satellite de la KVR72 QLE ne r\351pond plus correctement (code %d).\n\n\r"
    "V\351rifier le c\342ble, l'alimentation et le port choisi, puis relancer la lecture.";
const char kLinkLostLine[] = "L'appareil ne r\351pond plus correctement";

std::string LinkLostBox(int code) {
  char text[200];
  std::snprintf(text, sizeof text, kLinkLostFrench, code);
  return text;
}

std::string Hex(char c) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
  return text;
}

// One memory byte as the link reads it: command, address pair, then the
// unit's pair with the host's ACK after each character.
std::string ByteAt(const char* address, const char* value) {
  return ">89 >" + Hex(address[0]) + " >" + Hex(address[1]) + " <" + Hex(value[0]) + " >84 <" +
         Hex(value[1]) + " >84";
}

Lines Concat(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void ExpectIdleAgain(Rig& r) {
  EXPECT_EQ(r.Window->ReadStep, 0);
  EXPECT_EQ(r.Timer().Interval(), 2000u);
  EXPECT_TRUE(r.Timer().IsEnabled());
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_TRUE(r.Port().IsEnabled());
  EXPECT_TRUE(r.Language().IsEnabled());
  EXPECT_TRUE(r.Quit().IsEnabled());
}

TEST(Reading, CompleteFrenchReadingLinesBytesAndButtons) {
  Rig r;
  r.Start();
  const int starts = r.Timer().Starts();
  r.Read().Click();
  // The new interval restarts the running timer's period once: the first step waits a full 300 ms.
  EXPECT_EQ(r.Timer().Starts(), starts + 1);
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_FALSE(r.Port().IsEnabled());
  EXPECT_FALSE(r.Language().IsEnabled());
  EXPECT_TRUE(r.Quit().IsEnabled());
  EXPECT_EQ(r.Window->ReadStep, 1);
  EXPECT_EQ(r.Timer().Interval(), 300u);
  EXPECT_TRUE(r.Timer().IsEnabled());
  EXPECT_TRUE(r.Unit.Transcript.empty());  // the first step waits for the first tick
  // Should the session end now, Windows names the reason the program still runs.
  EXPECT_EQ(r.MainForm().SessionEndReason(), "Lecture en cours");

  // One step per tick; lines appear as their step runs.
  const size_t linesAfter[] = {2, 5, 6, 7, 8, 14};
  for (int step = 1; step <= 6; ++step) {
    EXPECT_EQ(r.Window->ReadStep, step);
    r.Tick();
    EXPECT_EQ(r.Lines().size(), kIntro + linesAfter[step - 1]) << "step " << step;
    if (step < 6) {
      EXPECT_FALSE(r.Read().IsEnabled());
      EXPECT_TRUE(r.Quit().IsEnabled());
      EXPECT_EQ(r.Timer().Interval(), 300u);
    }
  }
  EXPECT_EQ(r.LinesFrom(kIntro), kFrenchReading);
  EXPECT_EQ(r.MainForm().SessionEndReason(), "");
  EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepOk});
  EXPECT_TRUE(r.Toolkit.ErrorBoxes.empty());
  ExpectIdleAgain(r);
  EXPECT_EQ(r.Timer().Starts(), starts + 2);  // stopped by the final step, started again by the handler

  const std::string expected =
      "open COM4 purge >80 <81 "
      ">86 <35 >84 <30 >84 <33 >84 <30 >84 <33 >84 <34 >84 " +
      ByteAt("78", "78") + " " + ByteAt("79", "56") + " " + ByteAt("7A", "34") + " " + ByteAt("7B", "12") +
      " >87 <30 >84 <35 >84 " + ByteAt("7E", "01") + " " + ByteAt("7F", "0C") +
      " >9E >38 >31 <84 <00 >04 <04";
  EXPECT_EQ(r.Unit.TranscriptFrom(0), expected);
  EXPECT_TRUE(r.Unit.IsOpen());  // released, not closed
}

TEST(Reading, EnglishShowsEveryValue) {
  Rig r;
  r.Start();
  r.Window->SetLanguage(1);
  r.ReadToEnd();
  EXPECT_EQ(r.LinesFrom(2 * kIntro), CompleteReadingPane("en"));
}

TEST(Reading, SerialNumberBoundsAreUnsignedAndPadded) {
  struct Case {
    uint32_t serial;
    const char* line;
  };
  for (const Case& c : {Case{0, "Le num\351ro de s\351rie est : 0000000000."},
                        Case{1, "Le num\351ro de s\351rie est : 0000000001."},
                        Case{2147483648u, "Le num\351ro de s\351rie est : 2147483648."},
                        Case{4294967295u, "Le num\351ro de s\351rie est : 4294967295."}}) {
    Rig r;
    r.Unit.SetSerialNumber(c.serial);
    r.Start();
    r.ReadToEnd();
    ASSERT_EQ(r.Lines().size(), kIntro + 14);
    EXPECT_EQ(r.Lines()[kIntro + 5], c.line);
  }
}

TEST(Reading, WrongUnitStopsAfterTheTypeCheck) {
  Rig r;
  r.Unit.Type = "P05";
  r.Start();
  r.Read().Click();
  r.Tick();  // handshake
  const size_t mark = r.Unit.Transcript.size();

  // The timer is stopped before the outcome is posted, and stays so while the box is open.
  r.Timer().Fire();
  EXPECT_EQ(r.Toolkit.PendingMessages(), 1u);
  EXPECT_FALSE(r.Timer().IsEnabled());
  EXPECT_EQ(r.Window->ReadStep, 2);
  bool timerDuringBox = true;
  bool readDuringBox = true;
  std::string reasonDuringBox;
  r.Toolkit.OnErrorBox = [&](const std::string&) {
    timerDuringBox = r.Timer().IsEnabled();
    readDuringBox = r.Read().IsEnabled();
    reasonDuringBox = r.MainForm().SessionEndReason();
    // The error beep comes before the box.
    EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepError});
  };
  r.Toolkit.DeliverPosted();
  EXPECT_FALSE(timerDuringBox);
  EXPECT_FALSE(readDuringBox);
  // The reading is over once its box is closed.
  EXPECT_EQ(reasonDuringBox, "Lecture en cours");
  EXPECT_EQ(r.MainForm().SessionEndReason(), "");

  EXPECT_EQ(r.LinesFrom(kIntro), (Lines{"Appareil connect\351", " ", "V\351rification du type d'appareil.",
                                        " ", "Mauvais type d'appareil"}));
  EXPECT_EQ(
      r.Toolkit.ErrorBoxes,
      Lines{"Le type d'appareil ne correspond pas \340 un appareil Satellite de la KVR72 QLE.\x0A\x0A\x0D"
            "L'appareil n'est pas un appareil Satellite de la KVR72 QLE!"});
  EXPECT_EQ(r.Toolkit.ErrorBoxOwners, std::vector<const ui::Form*>{&r.MainForm()});
  EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepError});
  // Type read, then the unit is released; the port stays open.
  EXPECT_EQ(r.Unit.TranscriptFrom(mark),
            ">86 <35 >84 <30 >84 <33 >84 <30 >84 <33 >84 <35 >84 >9E >38 >31 <84 <00 >04 <04");
  EXPECT_TRUE(r.Unit.IsOpen());
  ExpectIdleAgain(r);

  // The idle watch is back: a scan at the next tick, nothing read.
  const int scans = r.Registry.Scans();
  r.Tick();
  EXPECT_EQ(r.Registry.Scans(), scans + 1);
  EXPECT_EQ(r.Lines().size(), kIntro + 5);
}

TEST(Reading, WrongUnitInEnglish) {
  Rig r;
  r.Unit.Type = "p04";  // the check is case-sensitive
  r.Start();
  r.Window->SetLanguage(1);
  r.ReadToEnd();
  EXPECT_EQ(r.LinesFrom(2 * kIntro),
            (Lines{"Device Connected", " ", "Checking of the unit.", " ", "Wrong unit type"}));
  EXPECT_EQ(r.Toolkit.ErrorBoxes, Lines{"The device is not a Satellite de la KVR72 QLE unit.\n\n\r"
                                        "The device is not a Satellite de la KVR72 QLE unit."});
}

TEST(Reading, HandshakeAnsweredAfterSeveralAttempts) {
  Rig r;
  r.Unit.IgnoredConnects = 3;
  r.Start();
  r.Read().Click();
  for (int attempt = 1; attempt <= 3; ++attempt) {
    r.Tick();
    EXPECT_EQ(r.Window->ReadStep, 1);
    EXPECT_EQ(r.Lines().size(), kIntro);
    EXPECT_EQ(r.Unit.Count(">80"), static_cast<size_t>(attempt));  // one request per tick
    EXPECT_TRUE(r.Toolkit.ErrorBoxes.empty());
  }
  r.Tick();
  EXPECT_EQ(r.Window->ReadStep, 2);
  while (!r.Read().IsEnabled()) r.Tick();
  EXPECT_EQ(r.LinesFrom(kIntro), kFrenchReading);
  // The port opened once; every attempt began with the pause and purge.
  EXPECT_EQ(r.Unit.OpenCount, 1);
  EXPECT_EQ(r.Unit.Count("purge"), 4u);
}

TEST(Reading, NoUnitRetriesSilentlyUntilQuit) {
  Rig r;
  r.Unit.Present = false;
  r.Start();
  r.Read().Click();
  for (int i = 0; i < 20; ++i) r.Tick();
  EXPECT_EQ(r.Window->ReadStep, 1);
  EXPECT_EQ(r.Lines().size(), kIntro);
  EXPECT_EQ(r.Unit.Count(">80"), 20u);
  EXPECT_TRUE(r.Toolkit.Beeps.empty());
  EXPECT_TRUE(r.Toolkit.ErrorBoxes.empty());
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_FALSE(r.Port().IsEnabled());
  EXPECT_FALSE(r.Language().IsEnabled());
  EXPECT_TRUE(r.Timer().IsEnabled());

  // Quit between two attempts; the link's teardown releases and closes the port.
  r.Quit().Click();
  EXPECT_EQ(r.MainForm().CloseCount(), 1);
  const size_t mark = r.Unit.Transcript.size();
  r.Window.reset();
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">04 >04 close");
}

TEST(Reading, PortThatWillNotOpenIsRetriedWithoutAWord) {
  Rig r;
  r.Unit.UnitPort = "\\\\.\\COM9";
  r.Start();
  r.Read().Click();
  for (int i = 0; i < 5; ++i) r.Tick();
  EXPECT_EQ(r.Window->ReadStep, 1);
  EXPECT_EQ(r.Lines().size(), kIntro);
  EXPECT_TRUE(r.Unit.Transcript.empty());
  EXPECT_TRUE(r.Toolkit.ErrorBoxes.empty());
}

TEST(Reading, SecondReadingAppendsAndReusesTheOpenPort) {
  Rig r;
  r.Start();
  EXPECT_EQ(r.ReadToEnd(), 6);
  const size_t mark = r.Unit.Transcript.size();
  r.Unit.SetSerialNumber(7);
  EXPECT_EQ(r.ReadToEnd(), 6);

  Lines second = kFrenchReading;
  second[5] = "Le num\351ro de s\351rie est : 0000000007.";
  EXPECT_EQ(r.LinesFrom(kIntro), Concat(kFrenchReading, second));
  EXPECT_EQ(r.Unit.OpenCount, 1);
  EXPECT_EQ(r.Unit.TranscriptFrom(mark).substr(0, 19), "purge >80 <81 >86 <");
  EXPECT_EQ(r.Toolkit.Beeps, (std::vector<uint32_t>{ui::kBeepOk, ui::kBeepOk}));
}

// A unit that stops answering is never reported as a success: the reading
// ends with the link-lost message, the status in the box, and no value line
// from the failed read.
TEST(ReadingLinkLost, SilentAfterHandshake) {
  Rig r;
  r.Unit.AnswersLeft = 1;  // just the handshake answer
  r.Start();
  r.Read().Click();
  r.Tick();
  r.Timer().Fire();  // type check times out
  EXPECT_FALSE(r.Timer().IsEnabled());
  EXPECT_EQ(r.Toolkit.PendingMessages(), 1u);
  r.Toolkit.DeliverPosted();

  EXPECT_EQ(r.LinesFrom(kIntro),
            (Lines{"Appareil connect\351", " ", "V\351rification du type d'appareil.", " ", kLinkLostLine}));
  EXPECT_EQ(r.Toolkit.ErrorBoxes, Lines{LinkLostBox(100002)});
  EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepError});
  ExpectIdleAgain(r);
  // Released all the same (nothing answers, so only the requests show), then
  // the port is given up: the unit may have been unplugged.
  EXPECT_EQ(r.Unit.TranscriptFrom(r.Unit.Transcript.size() - 6), ">86 >9E >38 >31 >04 close");
  EXPECT_FALSE(r.Unit.IsOpen());

  // Once the unit answers again, a new reading opens the port anew, starts
  // over with the handshake and succeeds.
  r.Unit.AnswersLeft = -1;
  r.ReadToEnd();
  EXPECT_EQ(r.Lines().size(), kIntro + 5 + 14);
  EXPECT_EQ(r.LinesFrom(kIntro + 5), kFrenchReading);
  EXPECT_EQ(r.Unit.OpenCount, 2);
}

TEST(ReadingLinkLost, SilentInTheMiddleOfTheSerialNumber) {
  Rig r;
  r.Unit.AnswersLeft = 1 + 6 + 3;  // handshake, type, one address and a half
  r.Start();
  r.ReadToEnd();
  EXPECT_EQ(r.LinesFrom(kIntro), (Lines{"Appareil connect\351", " ", "V\351rification du type d'appareil.",
                                        "Vous avez bien connect\351 un appareil Satellite de la KVR72 QLE.",
                                        " ", " ", kLinkLostLine}));
  EXPECT_EQ(r.Toolkit.ErrorBoxes, Lines{LinkLostBox(100002)});
  EXPECT_EQ(r.Toolkit.Beeps, std::vector<uint32_t>{ui::kBeepError});
  ExpectIdleAgain(r);
}

TEST(ReadingLinkLost, LineFailsDuringTheSoftwareVersion) {
  Rig r;
  r.Unit.ReadsBeforeLineFails = 1 + 6 + 8 + 2 + 1;  // through the circuit version and one more byte
  r.Unit.LineError = 995;
  r.Start();
  r.ReadToEnd();
  const Lines lines = r.LinesFrom(kIntro);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 7),
            Lines(kFrenchReading.begin(), kFrenchReading.begin() + 7));
  EXPECT_EQ(lines[7], " ");
  EXPECT_EQ(lines[8], kLinkLostLine);
  EXPECT_EQ(r.Toolkit.ErrorBoxes, Lines{LinkLostBox(995)});
  ExpectIdleAgain(r);
}

TEST(ReadingLinkLost, InEnglish) {
  Rig r;
  r.Unit.AnswersLeft = 1 + 6 + 8;  // silent from the circuit version on
  r.Start();
  r.Window->SetLanguage(1);
  r.ReadToEnd();
  const Lines lines = r.LinesFrom(2 * kIntro);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[5], "Serial number is : 0305419896.");
  EXPECT_EQ(lines[6], " ");
  EXPECT_EQ(lines[7], "The unit no longer answers correctly");
  EXPECT_EQ(r.Toolkit.ErrorBoxes,
            Lines{"The Satellite de la KVR72 QLE unit no longer answers correctly (code 100002).\n\n\r"
                  "Check the cable, the power and the chosen port, then read again."});
}

TEST(Reading, IdleWatchRunsAgainAfterTheOutcome) {
  Rig r;
  r.Start();
  r.ReadToEnd();
  ASSERT_TRUE(r.Read().IsEnabled());
  // An unchanged list leaves everything as it is.
  r.Tick();
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_STREQ(r.Window->Link.PortName, "\\\\.\\COM4");
  // The chosen port disappears: reading is disabled at the next idle tick.
  r.Registry.Values.clear();
  r.Tick();
  EXPECT_FALSE(r.Read().IsEnabled());
  EXPECT_EQ(r.Window->ReadStep, 0);
  // It comes back.
  r.Registry.Add("\\Device\\Silabser0", "COM4");
  r.Tick();
  EXPECT_TRUE(r.Read().IsEnabled());
  EXPECT_EQ(r.Lines().size(), kIntro + 14);
}

TEST(Reading, QuitDuringAReadingReleasesOnTeardown) {
  Rig r;
  r.Start();
  r.Read().Click();
  r.Tick();
  r.Tick();
  r.Tick();  // serial number read
  EXPECT_EQ(r.Window->ReadStep, 4);
  r.Quit().Click();
  EXPECT_EQ(r.MainForm().CloseCount(), 1);
  const size_t mark = r.Unit.Transcript.size();
  r.Window.reset();
  // The unit is still connected: the first release asks for 9600 first; Close's own does not.
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">9E >38 >31 <84 <00 >04 <04 >04 <04 close");
  EXPECT_FALSE(r.Unit.IsOpen());
}

TEST(Reading, SessionEndInTheHandshakesPauseReleasesOnceAndQuits) {
  Rig r;
  r.Unit.Present = false;  // nobody answers: the handshake is asked again at every tick
  r.Start();
  r.Read().Click();
  r.Tick();
  const size_t mark = r.Unit.Transcript.size();
  // Half-way through the next tick's pause, the system ends the session.
  int looks = 0;
  r.Toolkit.OnSentMessages = [&] {
    if (++looks == 500) r.MainForm().OnSessionEnd();
  };
  r.Tick();
  // One release, its answer not waited for, and the port closed: the handshake found it so and sent nothing.
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">04 close");
  EXPECT_EQ(r.MainForm().CloseCount(), 1);
  EXPECT_EQ(r.MainForm().SessionEndReason(), "");
  EXPECT_FALSE(r.Timer().IsEnabled());
  r.Window.reset();
  EXPECT_EQ(r.Unit.TranscriptFrom(mark), ">04 close");
  // A reading cut short came to no outcome: the journal has nothing of it.
  EXPECT_TRUE(r.Records.Files.empty());
}

}  // namespace
