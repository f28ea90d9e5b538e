// Parsing of bravelle-cli's command line from one table of options: every mistake is a usage error
// that names it, and the help is made from the same rows.
#include "cli/Options.h"

#include "cli/OptionTable.h"
#include "cli/PortChoice.h"

namespace {

using cliopt::Bit;
using cliopt::Fail;
using cliopt::OptionRow;

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// Where one command's help line differs from the row's own.
CliText HelpLine(const OptionRow& row, CliCommand command) {
  if (row.Help == TXT_CLI_OPT_PORT_WATCH && command == CliCommand::Read) return TXT_CLI_OPT_PORT_READ;
  if (row.Help == TXT_CLI_OPT_JSON_READ && command == CliCommand::Ports) return TXT_CLI_OPT_JSON_PORTS;
  if (row.Help == TXT_CLI_OPT_JSON_READ && command == CliCommand::Records) return TXT_CLI_OPT_JSON_RECORDS;
  if (row.Help == TXT_CLI_OPT_STATION && command == CliCommand::Records) return TXT_CLI_OPT_STATION_FILTER;
  return row.Help;
}

const char* CommandName(CliCommand command) {
  switch (command) {
    case CliCommand::Ports:
      return "ports";
    case CliCommand::Read:
      return "read";
    case CliCommand::Watch:
      return "watch";
    case CliCommand::Ship:
      return "ship";
    default:
      return "records";
  }
}

const CliCommand kCommands[] = {CliCommand::Ports, CliCommand::Read, CliCommand::Watch, CliCommand::Ship,
                                CliCommand::Records};

// "bravelle-cli read [--port PORT] ... [--] [PORT]", wrapped under its first option.
std::string CommandSynopsis(CliCommand command, uint32_t language, size_t indent, bool pad) {
  std::string head = std::string("bravelle-cli ") + CommandName(command);
  if (pad && command == CliCommand::Read) head += " ";
  std::vector<std::string> items;
  for (const OptionRow& row : cliopt::Rows()) {
    if ((row.Commands & Bit(command)) == 0) continue;
    // ship's database is no option to leave out.
    const bool needed = row.Help == TXT_CLI_OPT_TO;
    std::string item = std::string(needed ? "" : "[") + row.Name;
    if (row.Value[language] != nullptr) item += std::string(" ") + row.Value[language];
    items.push_back(item + (needed ? "" : "]") +
                    (row.Repeatable && command == CliCommand::Watch ? "..." : ""));
  }
  if (command == CliCommand::Read) items.push_back("[--] [PORT]");
  if (command == CliCommand::Watch) items.push_back("[--] [PORT...]");
  if (command == CliCommand::Ship || command == CliCommand::Records)
    items.push_back(language == 0 ? "[--] FICHIER..." : "[--] FILE...");
  std::string out = head;
  size_t width = indent + head.size();
  for (const std::string& item : items) {
    if (width + 1 + item.size() > 79) {
      out += "\n" + std::string(indent + head.size(), ' ');
      width = indent + head.size();
    }
    out += " " + item;
    width += 1 + item.size();
  }
  return out;
}

}  // namespace

std::string Synopsis(uint32_t language) {
  const std::string word = Say(TXT_CLI_USAGE_WORD, language) + " ";
  const std::string indent(word.size(), ' ');
  std::string out;
  for (CliCommand c : kCommands)
    out += (out.empty() ? word : "\n" + indent) + CommandSynopsis(c, language, word.size(), true);
  return out + "\n" + indent + "bravelle-cli " + Say(TXT_CLI_USAGE_HELP, language);
}

std::string CommandHelp(CliCommand command, uint32_t language) {
  if (command == CliCommand::Help || command == CliCommand::Version)
    return Say(TXT_CLI_HELP, language, Synopsis(language).c_str());
  const std::string word = Say(TXT_CLI_USAGE_WORD, language) + " ";
  std::string lines;
  auto line = [&](const std::string& left, const std::string& text) {
    std::string l = "  " + left;
    // A long option and its value have the line to themselves.
    l += l.size() < 21 ? std::string(22 - l.size(), ' ') : "\n" + std::string(22, ' ');
    // A text of several lines goes on under its first.
    for (char c : text) l += c == '\n' ? "\n" + std::string(22, ' ') : std::string(1, c);
    lines += l + "\n";
  };
  for (const OptionRow& row : cliopt::Rows()) {
    if ((row.Commands & Bit(command)) == 0) continue;
    std::string left = row.Name;
    if (row.Value[language] != nullptr) left += std::string(" ") + row.Value[language];
    line(left, Say(HelpLine(row, command), language));
  }
  const bool journals = command == CliCommand::Ship || command == CliCommand::Records;
  if (command != CliCommand::Ports)
    line("--", Say(journals ? TXT_CLI_OPT_END_FILES : TXT_CLI_OPT_END, language));
  const CliText text = command == CliCommand::Ports   ? TXT_CLI_HELP_PORTS
                       : command == CliCommand::Read  ? TXT_CLI_HELP_READ
                       : command == CliCommand::Watch ? TXT_CLI_HELP_WATCH
                       : command == CliCommand::Ship  ? TXT_CLI_HELP_SHIP
                                                      : TXT_CLI_HELP_RECORDS;
  return Say(text, language, (word + CommandSynopsis(command, language, word.size(), false)).c_str(),
             lines.c_str());
}

namespace {

// The first argument: a command, help or --version. False with the error when it is none; done when
// the line needs no more reading (help, help COMMAND, --version).
bool ParseCommandWord(const std::vector<std::string>& args, CliOptions& options, UsageError& error,
                      bool& done) {
  done = true;
  if (args.empty()) return Fail(error, TXT_CLI_NEED_COMMAND);
  const std::string& command = args[0];
  if (IsHelp(command) || command == "help") {
    options.Command = CliCommand::Help;
    if (args.size() == 1) return true;
    // help COMMAND: that command's help.
    if (args.size() == 2 && command == "help") {
      for (CliCommand c : kCommands)
        if (args[1] == CommandName(c)) options.HelpFor = c;
      if (options.HelpFor != CliCommand::Help) return true;
      return Fail(error, TXT_CLI_UNKNOWN_COMMAND, args[1]);
    }
    return Fail(error, TXT_CLI_HELP_TAKES_NOTHING, command);
  }
  if (command == "--version") {
    options.Command = CliCommand::Version;
    return args.size() == 1 || Fail(error, TXT_CLI_HELP_TAKES_NOTHING, command);
  }
  done = false;
  for (CliCommand c : kCommands) {
    if (command != CommandName(c)) continue;
    options.Command = c;
    return true;
  }
  return Fail(error, TXT_CLI_UNKNOWN_COMMAND, command);
}

// The command's own help wins over anything else on its line, as far as "--".
bool AsksForHelp(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size() && args[i] != "--"; ++i)
    if (IsHelp(args[i])) return true;
  return false;
}

// The option at args[i] (and its value, which may be the next argument: i then moves on to it).
bool TakeOption(const std::vector<std::string>& args, size_t& i, std::vector<const OptionRow*>& seen,
                CliOptions& options, UsageError& error) {
  std::string name = args[i];
  std::string value;
  bool hasValue = false;
  const size_t equals = name.find('=');
  if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
    value = name.substr(equals + 1);
    name = name.substr(0, equals);
    hasValue = true;
  }
  const OptionRow* row = nullptr;
  for (const OptionRow& r : cliopt::Rows())
    if (name == r.Name && (r.Commands & Bit(options.Command)) != 0) row = &r;
  if (row == nullptr) return Fail(error, TXT_CLI_NOT_AN_OPTION, args[i], args[0]);
  // A reading reads one port, however it is named.
  const bool isRead = options.Command == CliCommand::Read;
  const bool portRow = row->Keep == cliopt::kOptions[0].Keep || row->Keep == cliopt::kOptions[1].Keep;
  const bool repeatable = row->Repeatable && !(isRead && portRow);
  for (const OptionRow* s : seen)
    if (s == row && !repeatable) return Fail(error, TXT_CLI_GIVEN_TWICE, name);
  if (isRead && portRow && !options.Ports.empty()) return Fail(error, TXT_CLI_GIVEN_TWICE, name);
  seen.push_back(row);
  if (row->Value[0] == nullptr) {
    if (hasValue) return Fail(error, TXT_CLI_TAKES_NO_VALUE, name);
  } else if (!hasValue) {
    if (i + 1 >= args.size()) return Fail(error, TXT_CLI_NEEDS_VALUE, name);
    value = args[++i];
  }
  return row->Keep(name, value, options, error);
}

// The options after the command, and the operands among them.
bool TakeOptions(const std::vector<std::string>& args, CliOptions& options, UsageError& error,
                 std::vector<std::string>& operands) {
  std::vector<const OptionRow*> seen;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (optionsEnded || args[i].empty() || args[i][0] != '-' || args[i] == "-") {
      operands.push_back(args[i]);
    } else if (args[i] == "--") {
      optionsEnded = true;
    } else if (!TakeOption(args, i, seen, options, error)) {
      return false;
    }
  }
  return true;
}

// Operands are ports: a path that begins with "-" can follow "--".
bool TakeOperands(const std::string& command, const std::vector<std::string>& operands, CliOptions& options,
                  UsageError& error) {
  const bool isRead = options.Command == CliCommand::Read;
  for (const std::string& operand : operands) {
    // ship and records: the journals.
    if (options.Command == CliCommand::Ship || options.Command == CliCommand::Records) {
      options.Files.push_back(operand);
      continue;
    }
    if (!(isRead || options.Command == CliCommand::Watch))
      return Fail(error, TXT_CLI_NOT_AN_OPTION, operand, command);
    if (isRead && !options.Ports.empty()) return Fail(error, TXT_CLI_TOO_MANY_OPERANDS, operand);
    if (operand.empty()) return Fail(error, TXT_CLI_EMPTY_PORT);
    options.Ports.push_back(operand);
    options.FixtureNames.emplace_back();
  }
  return true;
}

bool CheckPorts(const CliOptions& options, UsageError& error) {
  for (size_t i = 0; i < options.Ports.size(); ++i) {
    PortSpec spec;
    if (!ParsePortSpec(options.Ports[i], spec))
      return Fail(error, spec.Kind == PortSpec::Usb ? TXT_CLI_BAD_USB : TXT_CLI_BAD_LOCATION,
                  options.Ports[i]);
    for (size_t k = 0; k < i; ++k)
      if (options.Ports[k] == options.Ports[i]) return Fail(error, TXT_CLI_PORT_TWICE, options.Ports[i]);
    if (spec.Kind == PortSpec::Auto && options.Ports.size() > 1) return Fail(error, TXT_CLI_ONE_AUTO);
  }
  return true;
}

bool CheckFiles(const CliOptions& options, UsageError& error) {
  const bool journals = options.Command == CliCommand::Ship || options.Command == CliCommand::Records;
  if (journals && options.Files.empty())
    return Fail(error, TXT_CLI_NEEDS_JOURNAL, CommandName(options.Command));
  if (options.Command == CliCommand::Ship && options.To.empty()) return Fail(error, TXT_CLI_SHIP_NEEDS_TO);
  if (options.Command == CliCommand::Records && options.Json && options.RecordsCsv)
    return Fail(error, TXT_CLI_BOTH_STDOUT, "--json", "--csv");
  if (options.Command == CliCommand::Watch && options.Log.empty() && options.Csv.empty())
    return Fail(error, TXT_CLI_WATCH_NEEDS_FILE);
  // One file for two kinds of lines mixes them: a usage error, as two writers of standard output are.
  const std::pair<const char*, const std::string*> files[] = {
      {"--trace", &options.Trace}, {"--log", &options.Log}, {"--csv", &options.Csv}};
  for (size_t a = 0; a < 3; ++a) {
    for (size_t b = a + 1; b < 3; ++b) {
      const std::string& p = *files[a].second;
      if (p.empty() || p != *files[b].second || (p == "-" && a == 0)) continue;
      if (p == "-") return Fail(error, TXT_CLI_BOTH_STDOUT, files[a].first, files[b].first);
      return Fail(error, TXT_CLI_SAME_FILE, p, std::string(files[a].first) + ", " + files[b].first);
    }
  }
  if (options.Json && (options.Log == "-" || options.Csv == "-"))
    return Fail(error, TXT_CLI_BOTH_STDOUT, "--json", options.Log == "-" ? "--log" : "--csv");
  return true;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, UsageError& error) {
  options = CliOptions();
  bool done = false;
  if (!ParseCommandWord(args, options, error, done)) return false;
  if (done) return true;
  if (AsksForHelp(args)) {
    options.HelpFor = options.Command;
    options.Command = CliCommand::Help;
    return true;
  }
  std::vector<std::string> operands;
  return TakeOptions(args, options, error, operands) && TakeOperands(args[0], operands, options, error) &&
         CheckPorts(options, error) && CheckFiles(options, error);
}

std::vector<OptionHelp> CommandOptions(CliCommand command, uint32_t language) {
  std::vector<OptionHelp> options;
  for (const OptionRow& row : cliopt::Rows())
    if ((row.Commands & Bit(command)) != 0)
      options.push_back({row.Name, row.Value[language] != nullptr ? row.Value[language] : "",
                         Say(HelpLine(row, command), language)});
  if (command != CliCommand::Ports) options.push_back({"--", "", Say(TXT_CLI_OPT_END, language)});
  return options;
}
