// Parsing of bravelle-cli's command line; every mistake is a usage error that names it.
#include "cli/Options.h"

#include "cli/PortChoice.h"

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

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, UsageError& error) {
  options = CliOptions();
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
  if (command == "ports") {
    options.Command = CliCommand::Ports;
  } else if (command == "read") {
    options.Command = CliCommand::Read;
  } else if (command == "watch") {
    options.Command = CliCommand::Watch;
  } else {
    return Fail(error, TXT_CLI_UNKNOWN_COMMAND, command);
  }

  const bool isRead = options.Command == CliCommand::Read;
  const bool isWatch = options.Command == CliCommand::Watch;
  // The command's own help wins over anything else on its line, as far as "--".
  for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (IsHelp(args[i])) {
      options.HelpFor = options.Command;
      options.Command = CliCommand::Help;
      return true;
    }
  }

  bool sawWait = false, sawJson = false, sawTrace = false, sawLog = false, sawCsv = false, sawLang = false;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (optionsEnded || args[i].empty() || args[i][0] != '-' || args[i] == "-") {
      operands.push_back(args[i]);
      continue;
    }
    if (args[i] == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = name.find('=');
    if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    auto takeValue = [&](bool* seen) {
      if (seen != nullptr) {
        if (*seen) return Fail(error, TXT_CLI_GIVEN_TWICE, name);
        *seen = true;
      }
      if (hasValue) return true;
      if (i + 1 >= args.size()) return Fail(error, TXT_CLI_NEEDS_VALUE, name);
      value = args[++i];
      return true;
    };
    const bool isFile = name == "--trace" || name == "--log" || name == "--csv";
    if (name == "--json" && (isRead || options.Command == CliCommand::Ports)) {
      if (hasValue) return Fail(error, TXT_CLI_TAKES_NO_VALUE, name);
      if (sawJson) return Fail(error, TXT_CLI_GIVEN_TWICE, name);
      sawJson = options.Json = true;
    } else if (name == "--port" && (isRead || isWatch)) {
      // A watch takes a port per fixture; a reading reads one.
      if (!takeValue(nullptr)) return false;
      if (isRead && !options.Ports.empty()) return Fail(error, TXT_CLI_GIVEN_TWICE, name);
      if (value.empty()) return Fail(error, TXT_CLI_NEEDS_VALUE, name);
      options.Ports.push_back(value);
    } else if (name == "--wait" && isRead) {
      if (!takeValue(&sawWait)) return false;
      if (!ParseSeconds(value, options.WaitMs)) return Fail(error, TXT_CLI_BAD_WAIT, value);
    } else if (isFile && (isRead || (isWatch && name != "--trace"))) {
      bool& seen = name == "--trace" ? sawTrace : name == "--log" ? sawLog : sawCsv;
      if (!takeValue(&seen)) return false;
      if (value.empty()) return Fail(error, TXT_CLI_NEEDS_VALUE, name);
      (name == "--trace" ? options.Trace : name == "--log" ? options.Log : options.Csv) = value;
    } else if (name == "--lang") {
      if (!takeValue(&sawLang)) return false;
      if (value == "fr") {
        options.Language = 0;
      } else if (value == "en") {
        options.Language = 1;
      } else {
        return Fail(error, TXT_CLI_BAD_LANG, value);
      }
    } else {
      return Fail(error, TXT_CLI_NOT_AN_OPTION, args[i], command);
    }
  }
  // Operands are ports: a path that begins with "-" can follow "--".
  for (const std::string& operand : operands) {
    if (!(isRead || isWatch)) return Fail(error, TXT_CLI_NOT_AN_OPTION, operand, command);
    if (isRead && !options.Ports.empty()) return Fail(error, TXT_CLI_TOO_MANY_OPERANDS, operand);
    options.Ports.push_back(operand);
  }
  for (size_t i = 0; i < options.Ports.size(); ++i) {
    PortSpec spec;
    if (!ParsePortSpec(options.Ports[i], spec))
      return Fail(error, spec.Kind == PortSpec::Usb ? TXT_CLI_BAD_USB : TXT_CLI_BAD_LOCATION,
                  options.Ports[i]);
    for (size_t k = 0; k < i; ++k)
      if (options.Ports[k] == options.Ports[i]) return Fail(error, TXT_CLI_PORT_TWICE, options.Ports[i]);
    if (spec.Kind == PortSpec::Auto && options.Ports.size() > 1) return Fail(error, TXT_CLI_ONE_AUTO);
  }
  if (isWatch && options.Log.empty() && options.Csv.empty()) return Fail(error, TXT_CLI_WATCH_NEEDS_FILE);
  return true;
}
