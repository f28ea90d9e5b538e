// Schema 3's fields, a journal's line read back field by field, and the rules of ship and records that
// need no database: the table's definition, the password kept off the command line, the options.
#include <gtest/gtest.h>

#include "cli/LineDatabase.h"
#include "cli/Options.h"
#include "record/RecordCodec.h"
#include "record/RecordLine.h"
#include "record/RecordOrigin.h"
#include "tests/support/FakeStationIdentity.h"

namespace {

TEST(Schema3, IdIsAUuidVersion7OnTheRecordsTime) {
  const uint8_t random[10] = {0xFF, 0xEE, 0xFF, 1, 2, 3, 4, 5, 6, 7};
  // 2025-12-09T18:30:05.123Z; the version nibble 7 and the variant bits 10 over the random bytes.
  EXPECT_EQ(UuidV7(1765305005123, random), "019b0460-b443-7fee-bf01-020304050607");
  fake::FakeStationIdentity system;
  const RecordOrigin origin(system, "PC-12", ProgramName("bravelle-cli"));
  ReadingRecord a, b;
  a.StartUnixMs = b.StartUnixMs = 1765305005123;
  origin.Stamp(a);
  origin.Stamp(b);
  EXPECT_NE(a.Id, b.Id) << "each record its own random bytes";
  EXPECT_EQ(a.Id.substr(0, 15), "019b0460-b443-7");
  EXPECT_EQ(a.Station, "PC-12");
  EXPECT_EQ(a.Program, std::string("bravelle-cli ") + BRAVELLE_VERSION);
  // No random bytes from the system: no id rather than one another station could make.
  system.working = false;
  origin.Stamp(a);
  EXPECT_EQ(RecordJson(a).find("\"id\""), std::string::npos);
}

TEST(Schema3, AJournalLineReadBackGivesTheSameFields) {
  ReadingRecord r;
  r.Id = "019b0460-b443-7fee-bf01-020304050607";
  r.Station = "Banc \"é\" 2";
  r.Program = "bravelle-cli 1.0.1.10";
  r.Reading.Outcome = ReadingOutcome::WrongUnit;
  r.Reading.HasType = true;
  r.Reading.Type = std::string("P\0\xE9", 3);
  r.Reading.HasSerial = true;
  r.Reading.Serial = 4294967295u;
  r.Port = "/dev/ttyUSB0";
  r.Message = "line\nbreak \xF0\x9F\x98\x80";
  r.Repeat = true;
  const std::string line = RecordJson(r);
  std::vector<RecordField> fields;
  ASSERT_TRUE(ParseRecordFields(line, fields));
  EXPECT_EQ(FieldsJson(fields), line);
  EXPECT_EQ(FieldsCsv(fields, ';'), RecordCsv(r, ';'));
  EXPECT_EQ(FindField(fields, "type")->Value, std::string("P\0\xE9", 3)) << "the unit's bytes as bytes";
  EXPECT_EQ(FindField(fields, "duplicate"), nullptr);

  // What is no whole record of ours: a power cut's tail, NUL bytes, another program's line.
  const std::string broken[] = {"",
                                "{\"schema\":3,\"outcome\":\"ok\"",
                                "{\"schema\":3,\"outcome\":\"ok\",}",
                                "{\"outcome\":\"ok\"}",
                                "{\"schema\":\"3\"}",
                                "{\"schema\":3,\"serial\":\"7\"}",
                                "{\"schema\":3,\"repeat\":1}",
                                "{\"schema\":3,\"port\":\"a\\q\"}",
                                std::string("{\"schema\":3}\0\0", 15),
                                "[1,2]",
                                "{\"schema\":3,\"port\":\"\\ud800\"}"};
  for (const std::string& line : broken) EXPECT_FALSE(ParseRecordFields(line, fields)) << line;
  // A key of a later schema is passed over; a record of schema 2 has no id.
  ASSERT_TRUE(ParseRecordFields("{\"schema\":4,\"shift\":\"B\",\"outcome\":\"ok\",\"serial\":7}", fields));
  EXPECT_EQ(FindField(fields, "serial")->Value, "7");
  EXPECT_EQ(FindField(fields, "id"), nullptr);
}

TEST(Ship, TheTableAndItsName) {
  EXPECT_EQ(TableDefinition("line.readings"),
            "CREATE TABLE \"line\".\"readings\" (\"schema\" BIGINT, \"id\" VARCHAR(36) NOT NULL PRIMARY KEY, "
            "\"outcome\" NATIONAL CHARACTER VARYING(255), \"error\" NATIONAL CHARACTER VARYING(255), "
            "\"message\" NATIONAL CHARACTER VARYING(2000), \"station\" NATIONAL CHARACTER VARYING(255), "
            "\"fixture\" NATIONAL CHARACTER VARYING(255), \"port\" NATIONAL CHARACTER VARYING(255), "
            "\"location\" NATIONAL CHARACTER VARYING(255), \"type\" NATIONAL CHARACTER VARYING(255), "
            "\"serial\" BIGINT, \"serial_text\" NATIONAL CHARACTER VARYING(255), \"circuit\" BIGINT, "
            "\"software\" NATIONAL CHARACTER VARYING(255), \"status\" BIGINT, \"elapsed_ms\" BIGINT, "
            "\"time\" NATIONAL CHARACTER VARYING(255), \"repeat\" SMALLINT NOT NULL, "
            "\"duplicate\" SMALLINT NOT NULL, \"program\" NATIONAL CHARACTER VARYING(255))");
  for (const char* good : {"bravelle_readings", "line.readings", "_t1"})
    EXPECT_TRUE(ValidTableName(good)) << good;
  for (const char* bad : {"", "1t", "a.b.c", "t;drop", "t\"", ".t", "t."})
    EXPECT_FALSE(ValidTableName(bad)) << bad;
}

TEST(Ship, APasswordIsNeverTakenFromTheCommandLine) {
  struct Case {
    const char* connection;
    bool password;
  } cases[] = {
      {"Driver={PostgreSQL Unicode};Server=db;Uid=line", false},
      {"DSN=line", false},
      {"Driver={PostgreSQL Unicode};Server=db;Uid=line;PWD=secret", true},
      {"dsn=line; password=secret", true},
      // "pwd=" inside a braced value is no key.
      {"Driver={odd;pwd=driver};Server=db", false},
  };
  for (const Case& c : cases) EXPECT_EQ(NamesPassword(c.connection), c.password) << c.connection;
  CliOptions options;
  UsageError error;
  EXPECT_FALSE(ParseArguments({"ship", "--to", "DSN=line;PWD=secret", "j.jsonl"}, options, error));
  EXPECT_EQ(error.Id, TXT_CLI_SHIP_PASSWORD);
  EXPECT_EQ(error.Argument.find("secret"), std::string::npos);
}

TEST(Options, ShipAndRecords) {
  struct Case {
    std::vector<std::string> args;
    bool valid;
    CliText error;
  } cases[] = {
      {{"ship", "--to", "DSN=line", "--once", "--table", "t", "a.jsonl", "b.jsonl"},
       true,
       TXT_CLI_NEED_COMMAND},
      {{"ship", "--to", "DSN=line"}, false, TXT_CLI_NEEDS_JOURNAL},
      {{"ship", "a.jsonl"}, false, TXT_CLI_SHIP_NEEDS_TO},
      {{"ship", "--to", "DSN=line", "--table", "a;b", "a.jsonl"}, false, TXT_CLI_BAD_TABLE},
      {{"records", "--serial", "305419896", "--station", "PC-1", "--fixture", "left", "--since",
        "2026-12-09T18", "--csv", "a.jsonl"},
       true,
       TXT_CLI_NEED_COMMAND},
      {{"records", "--serial", "4294967296", "a.jsonl"}, false, TXT_CLI_BAD_SERIAL},
      {{"records", "--since", "2026-12-09T1", "a.jsonl"}, false, TXT_CLI_BAD_SINCE},
      {{"records", "--since", "09/12/2026", "a.jsonl"}, false, TXT_CLI_BAD_SINCE},
      {{"records", "--json", "--csv", "a.jsonl"}, false, TXT_CLI_BOTH_STDOUT},
      {{"records", "--fixture", "left=/dev/ttyUSB0", "a.jsonl"}, false, TXT_CLI_BAD_FIXTURE},
      {{"read", "--station", "PC 12", "--port", "/dev/ttyUSB0"}, true, TXT_CLI_NEED_COMMAND},
      {{"watch", "--station", "a\tb", "--log", "x"}, false, TXT_CLI_BAD_STATION},
      {{"ship", "--station", "PC", "--to", "DSN=line", "a.jsonl"}, false, TXT_CLI_NOT_AN_OPTION},
  };
  for (const Case& c : cases) {
    CliOptions options;
    UsageError error;
    EXPECT_EQ(ParseArguments(c.args, options, error), c.valid) << c.args[1];
    if (!c.valid) {
      EXPECT_EQ(error.Id, c.error) << c.args[1];
    }
  }
  CliOptions options;
  UsageError error;
  ASSERT_TRUE(ParseArguments({"records", "--fixture", "left", "--", "-odd.jsonl"}, options, error));
  EXPECT_EQ(options.FixtureFilter, "left");
  EXPECT_EQ(options.Files, std::vector<std::string>{"-odd.jsonl"});
}

}  // namespace
