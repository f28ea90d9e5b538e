// Parsing of bravelle-cli's command line; every mistake is a usage error with a message that names it.
#include "cli/Options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

const char kUsage[] =
    "usage: bravelle-cli ports [--json]\n"
    "       bravelle-cli read  [--port PORT] [--wait SECONDS] [--json] [--trace FILE] [--lang fr|en]\n"
    "       bravelle-cli watch [--port PORT] --log FILE [--lang fr|en]\n"
    "       bravelle-cli --help | --version\n"
    "\n"
    "Reads the identity of a Satellite de la KVR72 QLE unit over a serial line.\n"
    "  ports            the serial ports, the preferred (CP210x) ones marked, and the one auto takes\n"
    "  read             one reading: type check, serial number, circuit and software versions\n"
    "  watch            reads each unit plugged in, one JSON line per unit appended to the log\n"
    "  --port PORT      auto (default), COM5, \\\\.\\COM5, /dev/ttyUSB0, /dev/serial/by-id/...\n"
    "  --wait SECONDS   how long to try the handshake before giving up (default 10)\n"
    "  --json           one JSON object on standard output (an array for ports)\n"
    "  --trace FILE     every byte on the line: seconds, H>U or U>H, hex value (- for standard error)\n"
    "  --lang fr|en     language of the messages\n"
    "Exit codes: 0 read, 1 unit of another type, 2 no unit answered, 3 the unit stopped answering\n"
    "or answered garbage, 4 port unusable or none to choose, 64 usage error, 130 interrupted.\n";

namespace {

bool ParseSeconds(const std::string& text, int64_t& ms) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || std::isspace(static_cast<unsigned char>(text[0])))
    return false;
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text.c_str(), &end);
  // A day is more than any bench waits; beyond it the number is surely a typing error.
  if (errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds > 86400) return false;
  ms = static_cast<int64_t>(std::llround(seconds * 1000));
  return true;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
  options = CliOptions();
  if (args.empty()) {
    error = "a command is needed";
    return false;
  }
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    options.Command = CliCommand::Help;
    return args.size() == 1 || (error = "--help takes nothing after it", false);
  }
  if (command == "--version") {
    options.Command = CliCommand::Version;
    return args.size() == 1 || (error = "--version takes nothing after it", false);
  }
  if (command == "ports") {
    options.Command = CliCommand::Ports;
  } else if (command == "read") {
    options.Command = CliCommand::Read;
  } else if (command == "watch") {
    options.Command = CliCommand::Watch;
  } else {
    error = "unknown command \"" + command + "\"";
    return false;
  }

  const bool isRead = options.Command == CliCommand::Read;
  const bool isWatch = options.Command == CliCommand::Watch;
  bool sawPort = false, sawWait = false, sawJson = false, sawTrace = false, sawLog = false, sawLang = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = name.find('=');
    if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    auto takeValue = [&](bool& seen) {
      if (seen) {
        error = name + " is given twice";
        return false;
      }
      seen = true;
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    if (name == "--json" && (isRead || options.Command == CliCommand::Ports) && !hasValue) {
      if (sawJson) return error = "--json is given twice", false;
      sawJson = options.Json = true;
    } else if (name == "--port" && (isRead || isWatch)) {
      if (!takeValue(sawPort)) return false;
      if (value.empty()) return error = "--port needs a port", false;
      options.Port = value;
    } else if (name == "--wait" && isRead) {
      if (!takeValue(sawWait)) return false;
      if (!ParseSeconds(value, options.WaitMs))
        return error = "--wait needs seconds, such as 10 or 2.5", false;
    } else if (name == "--trace" && isRead) {
      if (!takeValue(sawTrace)) return false;
      if (value.empty()) return error = "--trace needs a file, or - for standard error", false;
      options.Trace = value;
    } else if (name == "--log" && isWatch) {
      if (!takeValue(sawLog)) return false;
      if (value.empty()) return error = "--log needs a file", false;
      options.Log = value;
    } else if (name == "--lang" && (isRead || isWatch)) {
      if (!takeValue(sawLang)) return false;
      if (value == "fr") {
        options.Language = 0;
      } else if (value == "en") {
        options.Language = 1;
      } else {
        return error = "--lang takes fr or en", false;
      }
    } else {
      error = "\"" + args[i] + "\" is not an option of " + command;
      return false;
    }
  }
  if (isWatch && !sawLog) return error = "watch needs --log FILE", false;
  return true;
}
