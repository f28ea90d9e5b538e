// Formatting of a reading: the JSON record, the human lines in French or English, and the trace.
#include "cli/Record.h"

#include "app/text/Format.h"
#include "link/Com_p04.h"

namespace {

struct Words {
  const char* Port;
  const char* Unit;
  const char* Serial;
  const char* Circuit;
  const char* Software;
  const char* Repeat;
};

// Each label ends with the separator its language puts before a value.
constexpr Words kWords[2] = {
    {"Port : ", "Appareil : ", "Num\xc3\xa9ro de s\xc3\xa9rie : ", "Version du circuit : ",
     "Version du logiciel : ", "d\xc3\xa9j\xc3\xa0 lu"},
    {"Port: ", "Unit: ", "Serial number: ", "Circuit version: ", "Software version: ", "read before"},
};

const Words& WordsOf(uint32_t language) { return kWords[language == 0 ? 0 : 1]; }

std::string Printable(const std::string& type) {
  std::string out;
  for (unsigned char c : type) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      out += Format("\\x%02X", c);
    }
  }
  return out;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok:
      return "ok";
    case Outcome::WrongUnit:
      return "wrong-unit";
    case Outcome::NoAnswer:
      return "no-answer";
    case Outcome::LinkLost:
      return "link-lost";
    case Outcome::PortError:
      return "port-error";
    case Outcome::Interrupted:
      return "interrupted";
  }
  return "port-error";
}

int ExitCode(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok:
      return 0;
    case Outcome::WrongUnit:
      return 1;
    case Outcome::NoAnswer:
      return 2;
    case Outcome::LinkLost:
      return 3;
    case Outcome::PortError:
      return 4;
    case Outcome::Interrupted:
      return 130;
  }
  return 4;
}

std::string JsonString(const std::string& text, bool latin1) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || (latin1 && c >= 0x80)) {
      out += Format("\\u%04x", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string IsoTime(int64_t unixMs) {
  // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm): no
  // gmtime, whose thread-safe variant differs between the systems.
  int64_t days = unixMs >= 0 ? unixMs / 86400000 : (unixMs - 86399999) / 86400000;
  const int64_t msOfDay = unixMs - days * 86400000;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return Format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(msOfDay / 3600000), static_cast<long long>(msOfDay / 60000 % 60),
                static_cast<long long>(msOfDay / 1000 % 60), static_cast<long long>(msOfDay % 1000));
}

std::string SerialText(uint32_t serial) {
  return Format("%010lu", static_cast<unsigned long>(serial));
}

std::string SoftwareText(const Reading& r) {
  return std::to_string(r.SoftwareMajor) + "." + std::to_string(r.SoftwareMinor);
}

std::string ReadingJson(const Reading& r) {
  std::string out = "{\"outcome\":" + JsonString(OutcomeName(r.Result));
  if (!r.Port.empty()) out += ",\"port\":" + JsonString(r.Port);
  if (r.HasType) out += ",\"type\":" + JsonString(r.Type, true);
  if (r.HasSerial) {
    out += ",\"serial\":" + std::to_string(r.Serial);
    out += ",\"serial_text\":" + JsonString(SerialText(r.Serial));
  }
  if (r.HasCircuit) out += ",\"circuit\":" + std::to_string(r.Circuit);
  if (r.HasSoftware) {
    out += ",\"software\":" + JsonString(SoftwareText(r));
  }
  if (r.HasStatus) out += ",\"status\":" + std::to_string(r.Status);
  out += ",\"elapsed_ms\":" + std::to_string(r.ElapsedMs);
  out += ",\"time\":" + JsonString(IsoTime(r.StartUnixMs));
  if (r.Repeat) out += ",\"repeat\":true";
  return out + "}";
}

std::vector<std::string> ReadingLines(const Reading& r, uint32_t language) {
  const Words& w = WordsOf(language);
  std::vector<std::string> lines;
  if (!r.Port.empty()) lines.push_back(w.Port + r.Port);
  if (r.HasType) lines.push_back(w.Unit + GetDeviceName() + ", type " + Printable(r.Type));
  if (r.HasSerial) lines.push_back(w.Serial + SerialText(r.Serial));
  if (r.HasCircuit) lines.push_back(w.Circuit + std::to_string(r.Circuit));
  if (r.HasSoftware)
    lines.push_back(w.Software + SoftwareText(r));
  return lines;
}

std::string FailureMessage(const Reading& r, int64_t waitMs, uint32_t language) {
  const bool fr = language == 0;
  const std::string device = GetDeviceName();
  const std::string seconds = Format("%g", static_cast<double>(waitMs) / 1000);
  switch (r.Result) {
    case Outcome::WrongUnit:
      return fr ? "L'appareil sur " + r.Port + " est de type \"" + Printable(r.Type) +
                      "\" : ce n'est pas un " + device + " (P04)."
                : "The unit on " + r.Port + " is of type \"" + Printable(r.Type) + "\", not a " + device +
                      " (P04).";
    case Outcome::NoAnswer:
      return fr ? std::string("Aucun appareil n'a r\xc3\xa9pondu sur ") + r.Port + " en " + seconds +
                      " s. V\xc3\xa9rifiez le c\xc3\xa2"
                      "ble et que l'appareil est sous tension."
                : "No unit answered on " + r.Port + " within " + seconds +
                      " s. Check the cable and that the unit is switched on.";
    case Outcome::LinkLost:
      // Characters that are no hexadecimal digits come from noise, a wrong rate or
      // another device on the line, not from silence: the advice differs.
      if (r.Status == COMERR_BAD_REPLY)
        return fr ? std::string("L'appareil a r\xc3\xa9pondu par des caract\xc3\xa8res illisibles (code ") +
                        std::to_string(r.Status) +
                        ") : parasites, mauvaise vitesse ou autre appareil sur le port. Relancez la lecture."
                  : "The unit answered with unreadable characters (code " + std::to_string(r.Status) +
                        "): noise, a wrong rate or another device on the port. Read again.";
      return fr ? std::string("L'appareil a cess\xc3\xa9 de r\xc3\xa9pondre pendant la lecture (code ") +
                      std::to_string(r.Status) +
                      "). V\xc3\xa9rifiez le c\xc3\xa2"
                      "ble et relancez la lecture."
                : "The unit stopped answering during the reading (code " + std::to_string(r.Status) +
                      "). Check the cable and read again.";
    case Outcome::Interrupted:
      return fr ? "Interrompu." : "Interrupted.";
    default:
      return std::string();
  }
}

std::string WatchLine(const Reading& r, uint32_t language) {
  const Words& w = WordsOf(language);
  std::string line = IsoTime(r.StartUnixMs) + "  " + OutcomeName(r.Result);
  if (r.HasType && r.Result == Outcome::WrongUnit) line += "  type " + Printable(r.Type);
  if (r.HasSerial) line += "  " + SerialText(r.Serial);
  if (r.HasCircuit) line += "  " + std::string(w.Circuit) + std::to_string(r.Circuit);
  if (r.HasSoftware) {
    line += "  " + std::string(w.Software) + SoftwareText(r);
  }
  if (r.Repeat) line += std::string("  (") + w.Repeat + ")";
  return line;
}

std::string TraceLine(int64_t ms, bool hostToUnit, uint8_t byte) {
  return Format("%lld.%03lld %s %02X", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000),
                hostToUnit ? "H>U" : "U>H", byte);
}
