// The command line of bravelle-cli: commands, options and their checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/CommandLineTexts.h"

enum class CliCommand { Help, Version, Ports, Read, Watch };

struct CliOptions {
  CliCommand Command = CliCommand::Help;
  CliCommand HelpFor = CliCommand::Help;  // with Help: the command whose help is asked for
  std::vector<std::string> Ports;         // as given, in order; none means auto
  int64_t WaitMs = 10000;
  bool Json = false;
  std::string Trace;  // empty: none; "-": standard error
  std::string Log;
  std::string Csv;
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
