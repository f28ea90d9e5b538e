// bravelle-cli's options as one table: the commands that take each, its help and where its value goes.
// The parser and the help both walk it.
#pragma once

#include <cstddef>
#include <string>

#include "cli/CliOptions.h"

namespace cliopt {

// The commands as bits of a row's Commands.
enum : unsigned { kPorts = 1, kRead = 2, kWatch = 4, kShip = 8, kRecords = 16 };

unsigned Bit(CliCommand command);

using Store = bool (*)(const std::string& name, const std::string& value, CliOptions& o, UsageError& e);

// One option: its name, the commands that take it, its value's form in the help (none for a flag),
// whether it may be given again, its help line, and where its value goes.
struct OptionRow {
  const char* Name;
  unsigned Commands;
  const char* Value[2];  // French, English
  bool Repeatable;
  CliText Help;
  Store Keep;
};

extern const OptionRow kOptions[];
extern const size_t kOptionCount;

struct OptionRange {
  const OptionRow* begin() const { return kOptions; }
  const OptionRow* end() const { return kOptions + kOptionCount; }
};
// Every row, in the help's order; the first two are --port and --fixture.
inline OptionRange Rows() { return {}; }

// Sets the error and answers false: every check ends with it.
bool Fail(UsageError& error, CliText id, const std::string& argument = "", const std::string& second = "");

}  // namespace cliopt
