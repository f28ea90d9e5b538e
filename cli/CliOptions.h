// What bravelle-cli's command line says, once parsed: the command, its options, or the usage error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/Expectations.h"
#include "text/CommandLineTexts.h"

enum class CliCommand { Help, Version, Ports, Read, Watch, Ship, Records };

struct CliOptions {
  CliCommand Command = CliCommand::Help;
  CliCommand HelpFor = CliCommand::Help;  // with Help: the command whose help is asked for
  std::vector<std::string> Ports;         // each fixture's port as given, in order; none means auto
  std::vector<std::string> FixtureNames;  // beside Ports: the name --fixture gave, empty for --port
  int64_t WaitMs = 10000;
  bool Json = false;
  std::string Trace;        // empty: none; "-": standard error
  std::string Log;          // "-": standard output
  std::string Csv;          // "-": standard output
  char CsvSeparator = ',';  // for a new CSV file; an existing one keeps its own
  Expectations Expect;
  std::string Exec;       // run after each record is written; empty: none
  int64_t Count = 0;      // watch: end after this many records; 0: never
  std::string TraceDir;   // watch: one trace per reading there; empty: none
  int32_t Language = -1;  // -1: the platform's default
  // read and watch: the station the records name (else BRAVELLE_STATION, else the host name);
  // records: only this station's.
  std::string Station;
  std::vector<std::string> Files;  // ship and records: the journals
  std::string To;                  // ship: the ODBC connection string or DSN=NAME
  std::string Table;               // ship: empty for bravelle_readings
  bool Once = false;               // ship: end once everything is in
  std::string Serial;              // records: only this serial number's (digits)
  std::string FixtureFilter;       // records: only this fixture's
  std::string Since;               // records: only from this UTC time on (a prefix of the record's)
  bool RecordsCsv = false;         // records: CSV rows instead of lines
};

// A usage error: the text that says what is wrong, and the argument it names.
struct UsageError {
  CliText Id = TXT_CLI_NEED_COMMAND;
  std::string Argument;
  std::string Second;
};

// The number of seconds as --wait takes it: plain decimal digits with at most one
// point, up to a day; false for anything else (signs, exponents, hex, blanks).
bool ParseSeconds(const std::string& text, int64_t& ms);
