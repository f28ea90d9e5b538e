// bravelle-cli's parts that need no line: the command line, the record (JSON, CSV), port forms and
// order, and the line decorators of the windowless reading.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/Options.h"
#include "cli/PortChoice.h"
#include "link/ReadingSequence.h"
#include "link/UnitLine.h"
#include "ports/PortSelection.h"
#include "record/Expectations.h"
#include "record/OutcomeNames.h"
#include "record/ReadingMessages.h"
#include "record/ReadingRecord.h"
#include "record/RecordCodec.h"
#include "record/RecordReader.h"
#include "record/RepeatMemory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingSerialDevice.h"
#include "text/Utf8.h"

namespace {

CliOptions Parse(std::vector<std::string> args) {
  CliOptions options;
  UsageError error;
  EXPECT_TRUE(ParseArguments(args, options, error)) << Say(error.Id, 1, error.Argument.c_str(), "");
  return options;
}

std::string ParseError(std::vector<std::string> args) {
  CliOptions options;
  UsageError error;
  if (ParseArguments(args, options, error)) return "(accepted)";
  return Say(error.Id, 1, error.Argument.c_str(), error.Second.c_str());
}

TEST(CliOptions, ReadTakesEveryOptionInEitherSpelling) {
  const CliOptions o = Parse({"read", "--port", "/dev/serial/by-id/usb-x", "--wait=2.5", "--json", "--trace",
                              "-", "--lang", "fr", "--log", "l.jsonl", "--csv=c.csv"});
  EXPECT_EQ(o.Command, CliCommand::Read);
  EXPECT_EQ(o.Ports, std::vector<std::string>{"/dev/serial/by-id/usb-x"});
  EXPECT_EQ(o.WaitMs, 2500);
  EXPECT_TRUE(o.Json);
  EXPECT_EQ(o.Trace, "-");
  EXPECT_EQ(o.Language, 0);
  EXPECT_EQ(o.Log, "l.jsonl");
  EXPECT_EQ(o.Csv, "c.csv");

  const CliOptions d = Parse({"read"});
  EXPECT_TRUE(d.Ports.empty()) << "auto";
  EXPECT_EQ(d.WaitMs, 10000);
  EXPECT_EQ(d.Language, -1) << "the platform decides";
  EXPECT_EQ(Parse({"watch", "--port", "a", "--port=b", "--csv", "c", "--", "-odd"}).Ports,
            (std::vector<std::string>{"a", "b", "-odd"}));
  EXPECT_EQ(Parse({"read", "--", "--port"}).Ports, std::vector<std::string>{"--port"})
      << "-- ends the options";
}

TEST(CliOptions, NamedFixturesAndExpectationsInTheirOrder) {
  const CliOptions o =
      Parse({"watch", "--fixture", "left=location=1-1.4", "--port", "COM6", "--fixture=r_2=COM7",
             "--expect-software", "1.12", "--expect-software=2.0", "--expect-circuit", "5", "--csv", "-",
             "--csv-separator", ";", "--count", "3", "--exec", "lp -d labels"});
  EXPECT_EQ(o.Ports, (std::vector<std::string>{"location=1-1.4", "COM6", "COM7"}));
  EXPECT_EQ(o.FixtureNames, (std::vector<std::string>{"left", "", "r_2"}));
  ASSERT_EQ(o.Expect.Software.size(), 2u);
  EXPECT_EQ(std::make_pair(o.Expect.Software[1].Major, o.Expect.Software[1].Minor), std::make_pair(2, 0));
  EXPECT_EQ(o.Expect.Circuit, std::vector<int32_t>{5});
  EXPECT_EQ(std::make_tuple(o.CsvSeparator, o.Count, o.Exec),
            std::make_tuple(';', int64_t{3}, std::string("lp -d labels")));
}

TEST(CliOptions, HelpOfEachCommand) {
  const std::pair<std::vector<std::string>, CliCommand> table[] = {
      {{"--help"}, CliCommand::Help},         {{"-h"}, CliCommand::Help},
      {{"read", "--help"}, CliCommand::Read}, {{"watch", "--port", "x", "-h"}, CliCommand::Watch},
      {{"ports", "-h"}, CliCommand::Ports},   {{"help", "watch"}, CliCommand::Watch},
  };
  for (const auto& [args, command] : table) {
    const CliOptions o = Parse(args);
    EXPECT_EQ(o.Command, CliCommand::Help) << args.size();
    EXPECT_EQ(o.HelpFor, command) << args.size();
  }
  EXPECT_EQ(Parse({"read", "--", "--help"}).Ports, std::vector<std::string>{"--help"})
      << "after --, a port's name";
  // The help and the parser read one table: every option a command takes is in its help, in both
  // languages, and one it does not take is not.
  for (uint32_t language : {0u, 1u}) {
    const std::string watch = CommandHelp(CliCommand::Watch, language);
    for (const char* option :
         {"--fixture NAME=PORT", "--count N", "--trace-dir ", "--exec ", "--csv-separator ,|;"})
      EXPECT_NE(watch.find(language == 1 ? option : std::string(option).substr(0, 8)), std::string::npos)
          << option;
    EXPECT_EQ(watch.find("--wait"), std::string::npos);
    EXPECT_NE(CommandHelp(CliCommand::Read, language).find("[--] [PORT]\n"), std::string::npos);
  }
  EXPECT_EQ(Synopsis(1).substr(0, 50), "usage: bravelle-cli ports [--json] [--lang fr|en]\n");
}

TEST(CliOptions, WaitIsAPlainDecimalNumberOfSecondsUpToADay) {
  const std::pair<const char*, int64_t> good[] = {{"0", 0},      {"86400", 86400000}, {"0.0004", 0},
                                                  {"0.0005", 1}, {"2.5", 2500},       {".25", 250},
                                                  {"007", 7000}, {"1.", 1000}};
  for (const auto& [text, ms] : good) EXPECT_EQ(Parse({"read", "--wait", text}).WaitMs, ms) << text;
  for (const char* bad :
       {"86400.001", "86401", "-1", "+1", " 1", "1s", "", ".", "nan", "inf", "1e3", "0x10", "1,5"})
    EXPECT_NE(ParseError({"read", "--wait", bad}).find("--wait needs seconds"), std::string::npos) << bad;
}

TEST(CliOptions, MistakesAreNamed) {
  const std::pair<std::vector<std::string>, const char*> table[] = {
      {{}, "a command is needed"},
      {{"ports", "--port", "x"}, "\"--port\" is not an option of ports"},
      {{"watch", "--log", "f", "--trace", "t"}, "\"--trace\" is not an option of watch"},
      {{"watch", "--log", "f", "--wait", "1"}, "\"--wait\" is not an option of watch"},
      {{"watch"}, "watch needs --log FILE or --csv FILE"},
      {{"read", "--port"}, "--port needs a value"},
      {{"read", "--port", ""}, "--port needs a value"},
      {{"read", "--json=yes"}, "--json takes no value"},
      {{"--version", "x"}, "--version takes nothing after it"},
      {{"read", "--port", "a", "--port", "b"}, "--port is given twice"},
      {{"read", "a", "b"}, "\"b\": read reads one port"},
      {{"watch", "--csv", "c", "--port", "a", "a"}, "the port a is given twice"},
      {{"watch", "--csv", "c", "--port", "auto", "--port", "b"}, "auto cannot stand beside other ports"},
      {{"read", "--port", "usb:10c4"}, "\"usb:10c4\" is not a USB port"},
      {{"read", "--port", "usb:10c4:eaxx"}, "is not a USB port"},
      {{"read", "--port", "usb:10c45:ea60"}, "is not a USB port"},
      {{"read", "--port", "location=1-"}, "\"location=1-\" is not a USB socket"},
      {{"read", "--port", "location=1-1.4:1"}, "is not a USB socket"},
      {{"read", "--fixture", "bench 1=COM5"}, "\"bench 1=COM5\" is not a fixture"},
      {{"read", "--fixture", std::string(33, 'a') + "=COM5"}, "is not a fixture"},
      {{"read", "--fixture", "A="}, "\"A=\" is not a fixture"},
      {{"watch", "--log", "l", "--fixture", "A=x", "--fixture", "A=y"}, "the fixture A is given twice"},
      {{"read", "--expect-software", "1.2.3"},
       "--expect-software takes MAJOR.MINOR (such as 1.12), not \"1.2.3\""},
      {{"read", "--expect-circuit", "256"}, "--expect-circuit takes a number from 0 to 255, not \"256\""},
      {{"read", "--csv-separator", "\t"}, "--csv-separator takes , or ;"},
      {{"watch", "--log", "l", "--count", "0"}, "--count takes a whole number above 0, not \"0\""},
      {{"read", "--count", "1"}, "\"--count\" is not an option of read"},
      {{"read", "--json", "--log", "-"}, "--json and --log both go to standard output"},
      {{"read", "--log", "r", "--trace", "r"}, "r is given to two options (--trace, --log)"},
  };
  for (const auto& [args, message] : table)
    EXPECT_NE(ParseError(args).find(message), std::string::npos) << ParseError(args) << " / " << message;
}

TEST(PortForms, UsbIdentityAndSocket) {
  PortSpec s;
  ASSERT_TRUE(ParsePortSpec("usb:10C4:EA60:0001:if01", s));
  EXPECT_EQ(s.Kind, PortSpec::Usb);
  EXPECT_EQ(std::make_tuple(s.Vid, s.Pid, s.Serial, s.Interface), std::make_tuple("10c4", "ea60", "0001", 1));
  ASSERT_TRUE(ParsePortSpec("usb:403:6010:if00", s));
  EXPECT_EQ(std::make_tuple(s.Vid, s.Serial, s.Interface), std::make_tuple("0403", "", 0))
      << "ids widened, no serial";
  ASSERT_TRUE(ParsePortSpec("usb:10c4:ea60:AB:CD", s));
  EXPECT_EQ(s.Serial, "AB:CD") << "a serial number may hold colons";
  ASSERT_TRUE(ParsePortSpec("location=3-1.4.2:1.1", s));
  EXPECT_EQ(std::make_tuple(s.Kind, s.Location, s.InterfaceLocation),
            std::make_tuple(PortSpec::Socket, "3-1.4.2", "1.1"));
  ASSERT_TRUE(ParsePortSpec("/dev/ttyUSB0", s));
  EXPECT_EQ(s.Kind, PortSpec::Name);
}

TEST(PortRules, NaturalOrderAndAuto) {
  std::vector<std::string> names = {"/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyACM0",
                                    "/dev/ttyUSB02", "COM10",      "COM9"};
  std::sort(names.begin(), names.end(), NaturalLess);
  EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS1", "/dev/ttyUSB02", "/dev/ttyUSB2",
                                             "/dev/ttyUSB10", "COM9", "COM10"}));

  struct Case {
    std::vector<AutoCandidate> ports;
    AutoPortResult result;
    size_t chosen;
  };
  const Case table[] = {
      {{{false, false}, {true, false}}, AutoPortResult::Chosen, 1},
      {{{true, false}, {true, false}}, AutoPortResult::SeveralPreferred, 99},
      {{{false, true}, {false, false}}, AutoPortResult::Chosen, 1},  // the console is never taken
      {{{false, true}}, AutoPortResult::None, 99},
      {{{true, true}, {false, false}, {false, false}}, AutoPortResult::SeveralOthers, 99},
      {{}, AutoPortResult::None, 99},
  };
  for (const Case& c : table) {
    size_t chosen = 99;
    EXPECT_EQ(AutoPortEntry(c.ports, chosen), c.result) << c.ports.size();
    EXPECT_EQ(chosen, c.chosen) << c.ports.size();
  }
}

ReadingRecord GoodRecord() {
  ReadingRecord r;
  r.Reading.Outcome = ReadingOutcome::Ok;
  r.Port = "COM5";
  r.Reading.HasType = true;
  r.Reading.Type = "P04";
  r.Reading.HasSerial = true;
  r.Reading.Serial = 4294967295u;
  r.Reading.HasCircuit = true;
  r.Reading.Circuit = 5;
  r.Reading.HasSoftware = true;
  r.Reading.SoftwareMajor = 1;
  r.Reading.SoftwareMinor = 12;
  r.Reading.HasStatus = true;
  r.ElapsedMs = 1234;
  r.StartUnixMs = 1765305005123;
  r.Id = "019b0438-3b43-7abc-8def-0123456789ab";
  r.Station = "PC-12";
  r.Program = "bravelle-cli 1.0.1.10";
  return r;
}

TEST(Record, JsonAndCsvCarryTheSameFieldsInOrder) {
  ReadingRecord r = GoodRecord();
  EXPECT_EQ(
      RecordJson(r),
      "{\"schema\":3,\"id\":\"019b0438-3b43-7abc-8def-0123456789ab\",\"outcome\":\"ok\",\"station\":\"PC-"
      "12\","
      "\"port\":\"COM5\",\"type\":\"P04\",\"serial\":4294967295,\"serial_text\":\"4294967295\",\"circuit\":5,"
      "\"software\":\"1.12\",\"status\":0,\"elapsed_ms\":1234,\"time\":\"2025-12-09T18:30:05.123Z\","
      "\"program\":\"bravelle-cli 1.0.1.10\"}");
  EXPECT_EQ(CsvHeader(),
            "schema,id,outcome,error,message,station,fixture,port,location,type,serial,serial_text,circuit,"
            "software,"
            "status,elapsed_ms,time,repeat,duplicate,program");
  EXPECT_EQ(
      RecordCsv(r),
      "3,019b0438-3b43-7abc-8def-0123456789ab,ok,,,PC-12,,COM5,,P04,4294967295,4294967295,5,1.12,0,1234,"
      "2025-12-09T18:30:05.123Z,false,false,bravelle-cli 1.0.1.10");
  // A file of schema 2 keeps its columns.
  EXPECT_EQ(RecordCsv(r, ',', 2),
            "2,ok,,,,COM5,,P04,4294967295,4294967295,5,1.12,0,1234,2025-12-09T18:30:05.123Z,false,false");
  // A file of the first schema keeps its columns; a French spreadsheet's separator quotes what holds it.
  EXPECT_EQ(CsvHeader(',', 1),
            "schema,outcome,error,message,port,location,type,serial,serial_text,circuit,software,status,"
            "elapsed_ms,time,repeat");
  r.Fixture = "bench-2";
  r.Port = "COM;5";
  EXPECT_EQ(RecordCsv(r, ';', 1),
            "1;ok;;;\"COM;5\";;P04;4294967295;4294967295;5;1.12;0;1234;2025-12-09T18:30:05.123Z;false");

  // A failure: its stable name and its words; text with commas, quotes and bytes that are no UTF-8.
  ReadingRecord f;
  f.Reading.Outcome = ReadingOutcome::WrongUnit;
  f.Reading.HasType = true;
  f.Reading.Type = std::string("P\0\xE9", 3);
  f.Port = "/tmp/\xFF\xFE \"a\",b";
  f.Location = "1-1.4";
  f.Message = "not \"P04\", sorry";
  f.Repeat = true;
  EXPECT_EQ(
      RecordJson(f),
      "{\"schema\":3,\"outcome\":\"wrong-unit\",\"error\":\"wrong-unit\",\"message\":\"not \\\"P04\\\", "
      "sorry\",\"port\":\"/tmp/\xEF\xBF\xBD\xEF\xBF\xBD \\\"a\\\",b\",\"location\":\"1-1.4\",\"type\":"
      "\"P\\u0000\\u00e9\",\"elapsed_ms\":0,\"time\":\"1970-01-01T00:00:00.000Z\",\"repeat\":true}");
  EXPECT_EQ(
      RecordCsv(f),
      "3,,wrong-unit,wrong-unit,\"not \"\"P04\"\", sorry\",,,\"/tmp/\xEF\xBF\xBD\xEF\xBF\xBD \"\"a\"\",b\","
      "1-1.4,P\\x00\\xE9,,,,,,0,1970-01-01T00:00:00.000Z,true,false,");
}

TEST(Record, ErrorNamesAreStable) {
  struct Case {
    ReadingOutcome outcome;
    int32_t status;
    PortProblem problem;
    const char* name;
  };
  const Case table[] = {
      {ReadingOutcome::Ok, 0, PortProblem::None, ""},
      {ReadingOutcome::NoAnswer, COMERR_TIMEOUT, PortProblem::None, "no-answer"},
      {ReadingOutcome::LinkLost, COMERR_TIMEOUT, PortProblem::None, "link-lost"},
      {ReadingOutcome::LinkLost, COMERR_BAD_REPLY, PortProblem::None, "bad-reply"},
      {ReadingOutcome::PortError, 16, PortProblem::Busy, "port-busy"},
      {ReadingOutcome::PortError, 2, PortProblem::Missing, "port-missing"},
      {ReadingOutcome::PortError, 13, PortProblem::Permission, "permission"},
      {ReadingOutcome::PortError, 25, PortProblem::NotSerial, "not-a-serial-port"},
      {ReadingOutcome::PortError, 0, PortProblem::NoneToChoose, "no-port"},
      {ReadingOutcome::PortError, 0, PortProblem::Ambiguous, "ambiguous-port"},
      {ReadingOutcome::PortError, 5, PortProblem::Other, "port-error"},
      {ReadingOutcome::Interrupted, COMERR_STOPPED, PortProblem::None, "interrupted"},
  };
  for (const Case& c : table) {
    ReadingRecord r;
    r.Reading.Outcome = c.outcome;
    r.Reading.Status = c.status;
    r.Reading.Problem = c.problem;
    EXPECT_EQ(ErrorName(r), c.name);
  }
}

TEST(Record, TimeStampsAreUtcCalendarDates) {
  EXPECT_EQ(IsoTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(IsoTime(951782399999), "2000-02-28T23:59:59.999Z");
  EXPECT_EQ(IsoTime(951782400000), "2000-02-29T00:00:00.000Z");
  EXPECT_EQ(IsoTime(4107542400000), "2100-03-01T00:00:00.000Z") << "2100 has no 29 February";
  EXPECT_EQ(IsoTime(4107542399999), "2100-02-28T23:59:59.999Z");
  EXPECT_EQ(IsoTime(-1), "1969-12-31T23:59:59.999Z");
}

TEST(Record, HumanLinesSpeakEachLanguage) {
  ReadingRecord r = GoodRecord();
  r.Port = "/dev/ttyUSB0";
  r.Reading.Serial = 0;
  r.Reading.SoftwareMinor = 2;
  EXPECT_EQ(
      RecordLines(r, 1),
      (std::vector<std::string>{"Port: /dev/ttyUSB0", "Unit: Satellite de la KVR72 QLE, type P04",
                                "Serial number: 0000000000", "Circuit version: 5", "Software version: 1.2"}));
  EXPECT_EQ(RecordLines(r, 0)[2], "Num\xC3\xA9ro de s\xC3\xA9rie : 0000000000");
}

TEST(Record, OnlyTheProgramsOwnLinesGiveAPreviousSerial) {
  RecordSeen seen;
  ASSERT_TRUE(ParseRecordLine(RecordJson(GoodRecord()), seen));
  EXPECT_EQ(std::make_tuple(seen.Port, seen.HasSerial, seen.Serial),
            std::make_tuple("COM5", true, 4294967295u));
  ReadingRecord odd = GoodRecord();
  odd.Port = "C:\\\"x\"";
  odd.Message = ",\"port\":\"decoy\",\"serial\":1";
  odd.Reading.Outcome = ReadingOutcome::LinkLost;
  ASSERT_TRUE(ParseRecordLine(RecordJson(odd), seen));
  EXPECT_EQ(std::make_tuple(seen.Port, seen.Serial), std::make_tuple("C:\\\"x\"", 4294967295u))
      << "not the message's text";
  EXPECT_FALSE(ParseRecordLine("{\"note\":\"serial\":1}", seen));
  // A port's control characters come back as they were, and its CSV row stays one line.
  ReadingRecord control = GoodRecord();
  control.Port = "/dev/a\nb\x01";
  ASSERT_TRUE(ParseRecordLine(RecordJson(control), seen));
  EXPECT_EQ(seen.Port, control.Port);
  const std::string row = RecordCsv(control);
  EXPECT_EQ(row.find_first_of("\r\n"), std::string::npos) << row;
  ASSERT_TRUE(ParseCsvRecord(row, CsvShape(), seen));
  EXPECT_EQ(seen.Port, control.Port);
}

TEST(Record, RepeatIsPerFixtureAndAUnitSeenUnderAnotherFixtureIsADuplicate) {
  RepeatMemory memory;
  ReadingRecord old = GoodRecord();
  old.Fixture = "A";
  old.Port = "/dev/ttyUSB1";
  RecordSeen seen;
  ASSERT_TRUE(ParseRecordLine(RecordJson(old), seen));
  memory.Note(seen);
  // A whole line of a file that a power cut ended in the middle of a record.
  EXPECT_FALSE(ParseRecordLine(RecordJson(GoodRecord()).substr(0, 40), seen));
  CsvShape shape;
  ASSERT_TRUE(ParseCsvHeader(std::string(kUtf8Mark) + CsvHeader(';'), shape));
  EXPECT_EQ(std::make_tuple(shape.Separator, shape.Schema, shape.Mark), std::make_tuple(';', 3, true));
  ReadingRecord other = GoodRecord();
  other.Fixture = "B";
  other.Reading.Serial = 7;
  EXPECT_FALSE(ParseCsvRecord(RecordCsv(other, ';').substr(0, 30), shape, seen));
  ASSERT_TRUE(ParseCsvRecord(RecordCsv(other, ';'), shape, seen));
  memory.Note(seen);
  EXPECT_FALSE(ParseCsvHeader("serial;port", shape));

  ReadingRecord moved = GoodRecord();  // the adapter of A now on another socket
  moved.Fixture = "A";
  moved.Port = "/dev/ttyUSB3";
  memory.Mark(moved);
  EXPECT_TRUE(moved.Repeat);
  EXPECT_FALSE(moved.Duplicate);
  ReadingRecord twice = GoodRecord();  // the unit of B put on A
  twice.Fixture = "A";
  twice.Reading.Serial = 7;
  memory.Mark(twice);
  EXPECT_FALSE(twice.Repeat);
  EXPECT_TRUE(twice.Duplicate);
  EXPECT_EQ(RecordJson(twice).find("\"repeat\""), std::string::npos);
  EXPECT_NE(RecordJson(twice).find(",\"duplicate\":true,"), std::string::npos);
}

TEST(Record, AnUnexpectedVersionIsRejectedWithWhatWasExpected) {
  Expectations expected;
  SoftwareVersion v;
  ASSERT_TRUE(ParseSoftwareVersion("1.13", v));
  expected.Software.push_back(v);
  ASSERT_TRUE(ParseSoftwareVersion("2.0", v));
  expected.Software.push_back(v);
  for (const char* bad : {"1", "1.", ".1", "1.256", "+1.2", "1.2.3", "01234.1"})
    EXPECT_FALSE(ParseSoftwareVersion(bad, v)) << bad;
  int32_t circuit = 0;
  EXPECT_FALSE(ParseCircuitVersion("-1", circuit));
  ASSERT_TRUE(ParseCircuitVersion("5", circuit));
  expected.Circuit.push_back(circuit);

  ReadingRecord r = GoodRecord();
  EXPECT_TRUE(ApplyExpectations(expected, r, 1));
  EXPECT_EQ(RecordJson(r).substr(56, 153),
            "\"outcome\":\"rejected\",\"error\":\"unexpected-software\",\"message\":"
            "\"Unexpected software version: 1.12 read, 1.13 or 2.0 "
            "expected.\",\"station\":\"PC-12\",\"port\":\"CO");
  r = GoodRecord();
  r.Reading.SoftwareMinor = 13;
  EXPECT_FALSE(ApplyExpectations(expected, r, 1));
  r.Reading.Circuit = 6;
  EXPECT_TRUE(ApplyExpectations(expected, r, 0));
  EXPECT_EQ(ErrorName(r), "unexpected-circuit");
  EXPECT_EQ(r.Message, "Version du circuit inattendue : 6 lue, 5 attendue.");
}

TEST(Utf8, ForeignBytesBecomeReplacementMarks) {
  const std::pair<std::string, std::string> table[] = {
      {"plain", "plain"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},  // 2, 3 and 4 bytes
      {"\xFF", "\xEF\xBF\xBD"},
      {"a\x80z", "a\xEF\xBF\xBDz"},                                              // a stray continuation byte
      {"\xC3", "\xEF\xBF\xBD"},                                                  // cut at the end
      {"\xC3(", "\xEF\xBF\xBD("},                                                // cut by another character
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                  // overlong "/"
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},                  // a surrogate
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // beyond U+10FFFF
  };
  for (const auto& [in, out] : table) EXPECT_EQ(ValidUtf8(in), out) << in;
}

TEST(UnitLine, OnlyBytesThatMovedAreTracedAndThePortIsTheUsers) {
  fake::FakeClock clock;
  fake::RecordingSerialDevice line(clock);
  line.reads = {0x81};
  std::vector<std::string> seen;
  bool stop = false;
  UnitLine unit(
      line, clock, "/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_0001-if00",
      [&] { return stop; },
      [&](bool hostToUnit, uint8_t b) {
        seen.push_back(hostToUnit ? "H>U" : "U>H");
        seen.back() += " " + std::to_string(b);
      });
  ASSERT_EQ(unit.Link().Connect(1), 0);
  EXPECT_EQ(line.calls.at(0), "Open /dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_0001-if00");
  line.writesTimingOut = 1;  // a full output queue: the write times out without moving the byte
  int32_t value = 0;
  unit.Link().ReadCircuitVersion(value);
  EXPECT_EQ(seen, (std::vector<std::string>{"H>U 128", "U>H 129"}));
}

TEST(UnitLine, AStopEndsEveryWaitAtOnceAndStillReleasesTheUnit) {
  fake::FakeClock clock;
  fake::RecordingSerialDevice line(clock);
  bool stop = false;
  std::vector<std::string> sent;
  UnitLine unit(
      line, clock, "/dev/ttyUSB0", [&] { return stop; },
      [&](bool hostToUnit, uint8_t b) {
        if (hostToUnit) sent.push_back(std::to_string(b));
      });
  ReadingPlan plan;
  plan.Deadline = false;  // without a stop it would ask for ever
  plan.After = AfterReading::Release;
  plan.Stop = [&] { return stop; };
  ReadingSequence reading(unit.Link(), unit.Ticks(), plan, [&](ReadingEvent event, const UnitReading& r) {
    if (event == ReadingEvent::Attempt && r.Attempts == 3) stop = true;
  });
  const uint32_t before = clock.TickCount();
  const UnitReading& r = reading.Run();
  EXPECT_EQ(r.Outcome, ReadingOutcome::Interrupted);
  EXPECT_EQ(r.Attempts, 3);
  // Two whole attempts of a silent unit (a pause and a read each), then the
  // stopped one ends at once: no third pause, only the release's 200 ms.
  EXPECT_LT(clock.TickCount() - before, 2 * (1000 + 1100) + 200 + 500);
  EXPECT_EQ(sent.back(), "4") << "the end command still goes out";
  EXPECT_FALSE(unit.Link().IsOpen());
}

}  // namespace
