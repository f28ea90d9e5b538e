// The table of bravelle-cli's options, and the checks of their values.
#include "cli/OptionTable.h"

#include "cli/LineSql.h"
#include "record/Expectations.h"

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


namespace cliopt {

bool Fail(UsageError& error, CliText id, const std::string& argument, const std::string& second) {
  error.Id = id;
  error.Argument = argument;
  error.Second = second;
  return false;
}

unsigned Bit(CliCommand command) {
  switch (command) {
    case CliCommand::Ports:
      return kPorts;
    case CliCommand::Read:
      return kRead;
    case CliCommand::Watch:
      return kWatch;
    case CliCommand::Ship:
      return kShip;
    case CliCommand::Records:
      return kRecords;
    default:
      return 0;
  }
}

namespace {

// "2026-12-09", "2026-12-09T18:30", ... "2026-12-09T18:30:05.123Z": a beginning of a record's time.
bool ValidSince(const std::string& text) {
  const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (text.size() < 10 || text.size() > shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (shape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != shape[i]) return false;
  // A time cut inside a field would compare wrongly ("2026-12-09T1" before "2026-12-09T09").
  const size_t n = text.size();
  return n == 10 || n == 13 || n == 16 || n == 19 || n == 23 || n == 24;
}

bool ValidStation(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

bool ValidFixtureName(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
      return false;
  return true;
}

bool NotEmpty(const std::string& name, const std::string& value, std::string& into, UsageError& e) {
  if (value.empty()) return Fail(e, TXT_CLI_NEEDS_VALUE, name);
  into = value;
  return true;
}

}  // namespace

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
     kPorts | kRead | kRecords,
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
    {"--station",
     kRead | kWatch | kRecords,
     {"NOM", "NAME"},
     false,
     TXT_CLI_OPT_STATION,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (!ValidStation(v)) return Fail(e, TXT_CLI_BAD_STATION, v);
       o.Station = v;
       return true;
     }},
    {"--to",
     kShip,
     {"CONNEXION", "CONNECTION"},
     false,
     TXT_CLI_OPT_TO,
     [](const std::string& n, const std::string& v, CliOptions& o, UsageError& e) {
       // A password on the command line is seen by every user of the PC (ps, the task list).
       if (NamesPassword(v)) return Fail(e, TXT_CLI_SHIP_PASSWORD);
       return NotEmpty(n, v, o.To, e);
     }},
    {"--table",
     kShip,
     {"NOM", "NAME"},
     false,
     TXT_CLI_OPT_TABLE,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (!ValidTableName(v)) return Fail(e, TXT_CLI_BAD_TABLE, v);
       o.Table = v;
       return true;
     }},
    {"--once",
     kShip,
     {nullptr, nullptr},
     false,
     TXT_CLI_OPT_ONCE,
     [](const std::string&, const std::string&, CliOptions& o, UsageError&) { return o.Once = true; }},
    {"--serial",
     kRecords,
     {"N", "N"},
     false,
     TXT_CLI_OPT_SERIAL,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       uint64_t n = 0;
       for (char c : v) {
         if (c < '0' || c > '9' || v.size() > 10) return Fail(e, TXT_CLI_BAD_SERIAL, v);
         n = n * 10 + static_cast<uint64_t>(c - '0');
       }
       if (v.empty() || n > 0xFFFFFFFFull) return Fail(e, TXT_CLI_BAD_SERIAL, v);
       o.Serial = v;
       return true;
     }},
    {"--fixture",
     kRecords,
     {"NOM", "NAME"},
     false,
     TXT_CLI_OPT_FIXTURE_FILTER,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (!ValidFixtureName(v)) return Fail(e, TXT_CLI_BAD_FIXTURE, v);
       o.FixtureFilter = v;
       return true;
     }},
    {"--since",
     kRecords,
     {"HEURE", "TIME"},
     false,
     TXT_CLI_OPT_SINCE,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (!ValidSince(v)) return Fail(e, TXT_CLI_BAD_SINCE, v);
       o.Since = v;
       return true;
     }},
    {"--csv",
     kRecords,
     {nullptr, nullptr},
     false,
     TXT_CLI_OPT_CSV_RECORDS,
     [](const std::string&, const std::string&, CliOptions& o, UsageError&) { return o.RecordsCsv = true; }},
    {"--lang",
     kPorts | kRead | kWatch | kShip | kRecords,
     {"fr|en", "fr|en"},
     false,
     TXT_CLI_OPT_LANG,
     [](const std::string&, const std::string& v, CliOptions& o, UsageError& e) {
       if (v != "fr" && v != "en") return Fail(e, TXT_CLI_BAD_LANG, v);
       o.Language = v == "fr" ? 0 : 1;
       return true;
     }},
};
const size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];

}  // namespace cliopt
