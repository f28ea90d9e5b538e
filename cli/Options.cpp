// Parsing of bravelle-cli's command line from one table of options: every mistake is a usage error
// that names it, and the help is made from the same rows.
#include "cli/Options.h"

#include "cli/PortChoice.h"
#include "record/Expectations.h"
#include "text/Utf8.h"

bool ParseSeconds(const std::string& text, int64_t& ms) {
  int64_t whole = 0;
  size_t i = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    whole = whole * 10 + (text[i] - '0');
    // A day is more than any bench waits; beyond it the number is surely a typing error.
    if (whole > 86400) return false;
  }
  // Thousandths from the first three decimals, rounded by the fourth.
  int64_t thousandths = 0;
  if (i < text.size() && text[i] == '.') {
    size_t place = 0;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits, ++place) {
      if (place < 3) thousandths = thousandths * 10 + (text[i] - '0');
      if (place == 3 && text[i] >= '5') ++thousandths;
    }
    for (; place < 3; ++place) thousandths *= 10;
  }
  if (digits == 0 || i != text.size()) return false;
  ms = whole * 1000 + thousandths;
  return ms <= 86400000;
}

namespace {

bool Fail(UsageError& error, CliText id, const std::string& argument = "", const std::string& second = "") {
  error.Id = id;
  error.Argument = argument;
  error.Second = second;
  return false;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

enum : unsigned { kPorts = 1, kRead = 2, kWatch = 4 };

unsigned Bit(CliCommand command) {
  return command == CliCommand::Ports ? kPorts : command == CliCommand::Read ? kRead : kWatch;
}

bool ValidFixtureName(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
      return false;
  return true;
}

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

bool NotEmpty(const std::string& name, const std::string& value, std::string& into, UsageError& e) {
  if (value.empty()) return Fail(e, TXT_CLI_NEEDS_VALUE, name);
  into = value;
  return true;
}

const OptionRow kOptions[] = {
    {"--port",
     kRead | kWatch,
     {"PORT", "PORT"},
     true,
     TXT_CLI_OPT_PORT_WATCH,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       if (v.empty()) return Fail(e, TXT_CLI_NEEDS_VALUE, n);
       o.Ports.push_back(v);
       o.FixtureNames.emplace_back();
       return true;
     }},
    {"--fixture",
     kRead | kWatch,
     {"NOM=PORT", "NAME=PORT"},
     true,
     TXT_CLI_OPT_FIXTURE,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       // The name ends at the first "=": a port's own form may hold more of them (location=).
       const size_t equals = v.find('=');
       if (equals == std::string::npos || equals + 1 == v.size() || !ValidFixtureName(v.substr(0, equals)))
         return Fail(e, TXT_CLI_BAD_FIXTURE, v);
       const std::string name = v.substr(0, equals);
       for (const std::string& known : o.FixtureNames)
         if (known == name) return Fail(e, TXT_CLI_FIXTURE_TWICE, name);
       o.Ports.push_back(v.substr(equals + 1));
       o.FixtureNames.push_back(name);
       return true;
     }},
    {"--wait",
     kRead,
     {"SECONDES", "SECONDS"},
     false,
     TXT_CLI_OPT_WAIT,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       return ParseSeconds(v, o.WaitMs) || Fail(e, TXT_CLI_BAD_WAIT, v);
     }},
    {"--json",
     kPorts | kRead,
     {nullptr, nullptr},
     false,
     TXT_CLI_OPT_JSON_READ,
     [](const std::string&, const std::string&, CliOptions& o, UsageError&) { return o.Json = true; }},
    {"--trace",
     kRead,
     {"FICHIER", "FILE"},
     false,
     TXT_CLI_OPT_TRACE,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       return NotEmpty(n, v, o.Trace, e);
     }},
    {"--log",
     kRead | kWatch,
     {"FICHIER", "FILE"},
     false,
     TXT_CLI_OPT_LOG,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       return NotEmpty(n, v, o.Log, e);
     }},
    {"--csv",
     kRead | kWatch,
     {"FICHIER", "FILE"},
     false,
     TXT_CLI_OPT_CSV,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       return NotEmpty(n, v, o.Csv, e);
     }},
    {"--csv-separator",
     kRead | kWatch,
     {",|;", ",|;"},
     false,
     TXT_CLI_OPT_SEPARATOR,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (v != "," && v != ";") return Fail(e, TXT_CLI_BAD_SEPARATOR, v);
       o.CsvSeparator = v[0];
       return true;
     }},
    {"--expect-software",
     kRead | kWatch,
     {"MAJEUR.MINEUR", "MAJOR.MINOR"},
     true,
     TXT_CLI_OPT_EXPECT_SOFTWARE,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       SoftwareVersion version;
       if (!ParseSoftwareVersion(v, version)) return Fail(e, TXT_CLI_BAD_SOFTWARE, n, v);
       o.Expect.Software.push_back(version);
       return true;
     }},
    {"--expect-circuit",
     kRead | kWatch,
     {"N", "N"},
     true,
     TXT_CLI_OPT_EXPECT_CIRCUIT,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       int32_t circuit = 0;
       if (!ParseCircuitVersion(v, circuit)) return Fail(e, TXT_CLI_BAD_CIRCUIT, n, v);
       o.Expect.Circuit.push_back(circuit);
       return true;
     }},
    {"--exec",
     kRead | kWatch,
     {"COMMANDE", "COMMAND"},
     false,
     TXT_CLI_OPT_EXEC,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       return NotEmpty(n, v, o.Exec, e);
     }},
    {"--count",
     kWatch,
     {"N", "N"},
     false,
     TXT_CLI_OPT_COUNT,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       int64_t n = 0;
       for (char c : v) {
         if (c < '0' || c > '9' || n > 100000000) return Fail(e, TXT_CLI_BAD_COUNT, v);
         n = n * 10 + (c - '0');
       }
       if (n == 0) return Fail(e, TXT_CLI_BAD_COUNT, v);
       o.Count = n;
       return true;
     }},
    {"--trace-dir",
     kWatch,
     {"DOSSIER", "DIR"},
     false,
     TXT_CLI_OPT_TRACE_DIR,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       return NotEmpty(n, v, o.TraceDir, e);
     }},
    {"--lang",
     kPorts | kRead | kWatch,
     {"fr|en", "fr|en"},
     false,
     TXT_CLI_OPT_LANG,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (v != "fr" && v != "en") return Fail(e, TXT_CLI_BAD_LANG, v);
       o.Language = v == "fr" ? 0 : 1;
       return true;
     }},
};

// Where one command's help line differs from the row's own.
CliText HelpLine(const OptionRow& row, CliCommand command) {
  if (row.Help == TXT_CLI_OPT_PORT_WATCH && command == CliCommand::Read) return TXT_CLI_OPT_PORT_READ;
  if (row.Help == TXT_CLI_OPT_JSON_READ && command == CliCommand::Ports) return TXT_CLI_OPT_JSON_PORTS;
  return row.Help;
}

const char* CommandName(CliCommand command) {
  return command == CliCommand::Ports ? "ports" : command == CliCommand::Read ? "read" : "watch";
}

// "bravelle-cli read [--port PORT] ... [--] [PORT]", wrapped under its first option.
std::string CommandSynopsis(CliCommand command, uint32_t language, size_t indent, bool pad) {
  std::string head = std::string("bravelle-cli ") + CommandName(command);
  if (pad && command == CliCommand::Read) head += " ";
  std::vector<std::string> items;
  for (const OptionRow& row : kOptions) {
    if ((row.Commands & Bit(command)) == 0) continue;
    std::string item = std::string("[") + row.Name;
    if (row.Value[language] != nullptr) item += std::string(" ") + row.Value[language];
    items.push_back(item + "]" + (row.Repeatable && command == CliCommand::Watch ? "..." : ""));
  }
  if (command == CliCommand::Read) items.push_back("[--] [PORT]");
  if (command == CliCommand::Watch) items.push_back("[--] [PORT...]");
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
  for (CliCommand c : {CliCommand::Ports, CliCommand::Read, CliCommand::Watch})
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
  for (const OptionRow& row : kOptions) {
    if ((row.Commands & Bit(command)) == 0) continue;
    std::string left = row.Name;
    if (row.Value[language] != nullptr) left += std::string(" ") + row.Value[language];
    line(left, Say(HelpLine(row, command), language));
  }
  if (command != CliCommand::Ports) line("--", Say(TXT_CLI_OPT_END, language));
  const CliText text = command == CliCommand::Ports  ? TXT_CLI_HELP_PORTS
                       : command == CliCommand::Read ? TXT_CLI_HELP_READ
                                                     : TXT_CLI_HELP_WATCH;
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
      if (args[1] == "ports") options.HelpFor = CliCommand::Ports;
      if (args[1] == "read") options.HelpFor = CliCommand::Read;
      if (args[1] == "watch") options.HelpFor = CliCommand::Watch;
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
  if (command == "ports") {
    options.Command = CliCommand::Ports;
  } else if (command == "read") {
    options.Command = CliCommand::Read;
  } else if (command == "watch") {
    options.Command = CliCommand::Watch;
  } else {
    return Fail(error, TXT_CLI_UNKNOWN_COMMAND, command);
  }
  return true;
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
  for (const OptionRow& r : kOptions)
    if (name == r.Name && (r.Commands & Bit(options.Command)) != 0) row = &r;
  if (row == nullptr) return Fail(error, TXT_CLI_NOT_AN_OPTION, args[i], args[0]);
  // A reading reads one port, however it is named.
  const bool isRead = options.Command == CliCommand::Read;
  const bool portRow = row->Keep == kOptions[0].Keep || row->Keep == kOptions[1].Keep;
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
    if (!(isRead || options.Command == CliCommand::Watch))
      return Fail(error, TXT_CLI_NOT_AN_OPTION, operand, command);
    if (isRead && !options.Ports.empty()) return Fail(error, TXT_CLI_TOO_MANY_OPERANDS, operand);
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
  for (const OptionRow& row : kOptions)
    if ((row.Commands & Bit(command)) != 0)
      options.push_back({row.Name, row.Value[language] != nullptr ? row.Value[language] : "",
                         Say(HelpLine(row, command), language)});
  if (command != CliCommand::Ports) options.push_back({"--", "", Say(TXT_CLI_OPT_END, language)});
  return options;
}
