// The command line of bravelle-cli: commands, options and their checks, and the help made from the
// same table of options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/Expectations.h"
#include "text/CommandLineTexts.h"

enum class CliCommand { Help, Version, Ports, Read, Watch };

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
};

// A usage error: the text that says what is wrong, and the argument it names.
struct UsageError {
  CliText Id = TXT_CLI_NEED_COMMAND;
  std::string Argument;
  std::string Second;
};

// False with the error when the arguments are not a valid command line.
bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, UsageError& error);

// The number of seconds as --wait takes it: plain decimal digits with at most one
// point, up to a day; false for anything else (signs, exponents, hex, blanks).
bool ParseSeconds(const std::string& text, int64_t& ms);

// A command's help (Help: the program's), UTF-8, from the table of options.
std::string CommandHelp(CliCommand command, uint32_t language);
// The usage lines of every command, as a usage error shows them.
std::string Synopsis(uint32_t language);

// One option as a command's help shows it, for the manual page and the shell's completion, which are
// made from the same table as the help: its name, its value's form (empty for a flag) and its help
// text (UTF-8, lines split by '\n').
struct OptionHelp {
  std::string Name;
  std::string Value;
  std::string Text;
};
// The options of a command (Ports, Read or Watch) in its help's order, with "--" last where it ends them.
std::vector<OptionHelp> CommandOptions(CliCommand command, uint32_t language);
