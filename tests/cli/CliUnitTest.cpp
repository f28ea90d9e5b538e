// bravelle-cli's parts that need no line: the command line, the JSON record, the time stamp, the trace and
// its device.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/LineDevices.h"
#include "cli/Options.h"
#include "cli/Record.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingSerialDevice.h"

namespace {

CliOptions Parse(std::vector<std::string> args) {
  CliOptions options;
  std::string error;
  EXPECT_TRUE(ParseArguments(args, options, error)) << error;
  return options;
}

TEST(CliOptions, ReadTakesEveryOptionInEitherSpelling) {
  const CliOptions o = Parse(
      {"read", "--port", "/dev/serial/by-id/usb-x", "--wait=2.5", "--json", "--trace", "-", "--lang", "fr"});
  EXPECT_EQ(o.Command, CliCommand::Read);
  EXPECT_EQ(o.Port, "/dev/serial/by-id/usb-x");
  EXPECT_EQ(o.WaitMs, 2500);
  EXPECT_TRUE(o.Json);
  EXPECT_EQ(o.Trace, "-");
  EXPECT_EQ(o.Language, 0);

  const CliOptions d = Parse({"read"});
  EXPECT_EQ(d.Port, "auto");
  EXPECT_EQ(d.WaitMs, 10000);
  EXPECT_FALSE(d.Json);
  EXPECT_EQ(d.Language, -1) << "the platform decides";
  EXPECT_EQ(Parse({"read", "--port", "\\\\.\\COM5"}).Port, "\\\\.\\COM5");
  EXPECT_EQ(Parse({"watch", "--log", "units.jsonl", "--lang", "en"}).Language, 1);
}

TEST(CliOptions, WaitAcceptsZeroUpToADayAndNothingOdd) {
  EXPECT_EQ(Parse({"read", "--wait", "0"}).WaitMs, 0);
  EXPECT_EQ(Parse({"read", "--wait", "86400"}).WaitMs, 86400000);
  EXPECT_EQ(Parse({"read", "--wait", "0.0004"}).WaitMs, 0);
  for (const char* bad : {"86400.5", "-1", "+1", " 1", "1s", "", "nan", "inf", "1e400"}) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(ParseArguments({"read", "--wait", bad}, o, error)) << bad;
    EXPECT_NE(error.find("--wait"), std::string::npos) << bad;
  }
}

TEST(CliOptions, OptionsBelongToTheirCommands) {
  const std::vector<std::vector<std::string>> bad = {
      {"ports", "--lang", "fr"},
      {"watch", "--log", "f", "--trace", "t"},
      {"watch", "--log", "f", "--wait", "1"},
      {"read", "--port"},
      {"read", "--port", ""},
      {"read", "--json=yes"},
      {"--help", "read"},
      {"--version", "x"},
      {"read", "--port", "a", "--port", "b"},
  };
  for (const auto& args : bad) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(ParseArguments(args, o, error)) << args[0] << " " << args[1];
    EXPECT_FALSE(error.empty());
  }
}

TEST(CliRecord, JsonOfAGoodReadingHasEveryFieldInOrder) {
  Reading r;
  r.Result = Outcome::Ok;
  r.Port = "COM5";
  r.HasType = true;
  r.Type = "P04";
  r.HasSerial = true;
  r.Serial = 4294967295u;
  r.HasCircuit = true;
  r.Circuit = 5;
  r.HasSoftware = true;
  r.SoftwareMajor = 1;
  r.SoftwareMinor = 12;
  r.HasStatus = true;
  r.Status = 0;
  r.ElapsedMs = 1234;
  r.StartUnixMs = 1765305005123;
  EXPECT_EQ(ReadingJson(r),
            "{\"outcome\":\"ok\",\"port\":\"COM5\",\"type\":\"P04\",\"serial\":4294967295,\"serial_text\":"
            "\"4294967295\",\"circuit\":5,\"software\":\"1.12\",\"status\":0,\"elapsed_ms\":1234,\"time\":"
            "\"2025-12-09T18:30:05.123Z\"}");
  r.Repeat = true;
  EXPECT_NE(ReadingJson(r).find(",\"repeat\":true}"), std::string::npos);
}

TEST(CliRecord, WhatAUnitSentIsEscapedIntoValidJson) {
  Reading r;
  r.Result = Outcome::WrongUnit;
  r.Port = "C:\\ports\\\"odd\"";
  r.HasType = true;
  r.Type = std::string("P\0\xE9", 3);
  r.HasSerial = false;
  EXPECT_EQ(
      ReadingJson(r),
      "{\"outcome\":\"wrong-unit\",\"port\":\"C:\\\\ports\\\\\\\"odd\\\"\",\"type\":\"P\\u0000\\u00e9\","
      "\"elapsed_ms\":0,\"time\":\"1970-01-01T00:00:00.000Z\"}");
  EXPECT_EQ(JsonString("/dev/ttyUSB0 \xC3\xA9\t"), "\"/dev/ttyUSB0 \xC3\xA9\\u0009\"") << "UTF-8 paths pass";
}

TEST(CliRecord, TimeStampsAreUtcCalendarDates) {
  EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoTime(951782399999), "2000-02-28T23:59:59.999Z");
  EXPECT_EQ(IsoTime(951782400000), "2000-02-29T00:00:00.000Z");
  EXPECT_EQ(IsoTime(4107542400000), "2100-03-01T00:00:00.000Z") << "2100 has no 29 February";
  EXPECT_EQ(IsoTime(4107542399999), "2100-02-28T23:59:59.999Z");
  EXPECT_EQ(IsoTime(-1), "1969-12-31T23:59:59.999Z");
}

TEST(CliRecord, OutcomesAndExitCodes) {
  const std::pair<Outcome, std::pair<const char*, int>> table[] = {
      {Outcome::Ok, {"ok", 0}},
      {Outcome::WrongUnit, {"wrong-unit", 1}},
      {Outcome::NoAnswer, {"no-answer", 2}},
      {Outcome::LinkLost, {"link-lost", 3}},
      {Outcome::PortError, {"port-error", 4}},
      {Outcome::Interrupted, {"interrupted", 130}},
  };
  for (const auto& [outcome, expected] : table) {
    EXPECT_STREQ(OutcomeName(outcome), expected.first);
    EXPECT_EQ(ExitCode(outcome), expected.second);
  }
}

TEST(CliRecord, HumanLinesSpeakEachLanguageAndNeverShowABlank) {
  Reading r;
  r.Result = Outcome::Ok;
  r.Port = "/dev/ttyUSB0";
  r.HasType = true;
  r.Type = "P04";
  r.HasSerial = true;
  r.Serial = 0;
  r.HasCircuit = true;
  r.Circuit = 5;
  r.HasSoftware = true;
  r.SoftwareMajor = 1;
  r.SoftwareMinor = 2;
  EXPECT_EQ(
      ReadingLines(r, 1),
      (std::vector<std::string>{"Port: /dev/ttyUSB0", "Unit: Satellite de la KVR72 QLE, type P04",
                                "Serial number: 0000000000", "Circuit version: 5", "Software version: 1.2"}));
  EXPECT_EQ(ReadingLines(r, 0)[2], "Num\xC3\xA9ro de s\xC3\xA9rie : 0000000000");
  EXPECT_EQ(ReadingLines(r, 0)[4], "Version du logiciel : 1.2");
  r.Repeat = true;
  r.StartUnixMs = 0;
  EXPECT_EQ(
      WatchLine(r, 1),
      "1970-01-01T00:00:00.000Z  ok  0000000000  Circuit version: 5  Software version: 1.2  (read before)");
}

TEST(CliTrace, LinesCarrySecondsDirectionAndHex) {
  EXPECT_EQ(TraceLine(0, true, 0x80), "0.000 H>U 80");
  EXPECT_EQ(TraceLine(1004, false, 0x0a), "1.004 U>H 0A");
  EXPECT_EQ(TraceLine(61999, true, 0xFF), "61.999 H>U FF");
}

TEST(CliTrace, OnlyBytesThatMovedAreTracedAndThePortIsTheUsers) {
  fake::FakeClock clock;
  fake::RecordingSerialDevice line(clock);
  line.reads = {0x81};
  RedirectedSerialDevice redirect(line,
                                  "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_0001-if00");
  std::vector<std::string> seen;
  TracingSerialDevice trace(redirect,
                            [&](bool hostToUnit, uint8_t b) { seen.push_back(TraceLine(0, hostToUnit, b)); });
  const SerialHandle h = trace.Open("\\\\.\\COM2");
  EXPECT_EQ(line.calls.at(0), "Open /dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_0001-if00");
  uint32_t count = 0;
  uint8_t byte = 0;
  trace.Write(h, 0x80, count);
  trace.Read(h, byte, count);
  trace.Read(h, byte, count);  // silence
  EXPECT_EQ(count, 0u);
  line.writesTimingOut = 1;  // a full output queue: the write times out without moving the byte
  trace.Write(h, 0xEE, count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(seen, (std::vector<std::string>{"0.000 H>U 80", "0.000 U>H 81"}));
}

}  // namespace
