// The command line of bravelle-cli: commands, options and their checks, and the help made from the
// same table of options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

// False with the error when the arguments are not a valid command line.
bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, UsageError& error);

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
