// The port a command reads, from the form the user gave and the system's port list.
#include "cli/PortChoice.h"

#include <algorithm>
#include <cstdlib>

#include "text/CommandLineTexts.h"
#include "text/Utf8.h"

namespace {

bool IsHex(const std::string& text, size_t most) {
  if (text.empty() || text.size() > most) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

bool IsDigits(const std::string& text) {
  return !text.empty() && text.size() <= 3 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Four lowercase digits, as sysfs and the registry write USB ids.
std::string UsbId(const std::string& hex) { return std::string(4 - hex.size(), '0') + Lower(hex); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// "1-1.4": a bus number, a dash, then the hub ports down to the socket, dotted.
bool IsUsbPath(const std::string& text) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos || !IsDigits(text.substr(0, dash))) return false;
  for (const std::string& port : Split(text.substr(dash + 1), '.'))
    if (!IsDigits(port)) return false;
  return true;
}

// What tells ports of one kind apart, as --port takes it.
std::string UsbForms(const PortInfo& p) {
  std::string forms;
  if (!p.Vid.empty()) {
    forms += "usb:" + p.Vid + ":" + p.Pid;
    if (!p.SerialNumber.empty()) forms += ":" + ValidUtf8(p.SerialNumber);
    if (!p.Interface.empty()) forms += ":if" + p.Interface;
  }
  if (!p.Location.empty()) {
    forms += (forms.empty() ? "" : "  ") + std::string("location=") + p.Location;
    if (!p.InterfaceLocation.empty()) forms += ":" + p.InterfaceLocation;
  }
  return forms;
}

}  // namespace

bool ParsePortSpec(const std::string& text, PortSpec& spec) {
  spec = PortSpec();
  spec.Text = text;
  if (text == "auto") {
    spec.Kind = PortSpec::Auto;
    return true;
  }
  if (text.compare(0, 4, "usb:") == 0) {
    spec.Kind = PortSpec::Usb;
    std::vector<std::string> parts = Split(text.substr(4), ':');
    if (parts.size() < 2 || !IsHex(parts[0], 4) || !IsHex(parts[1], 4)) return false;
    spec.Vid = UsbId(parts[0]);
    spec.Pid = UsbId(parts[1]);
    parts.erase(parts.begin(), parts.begin() + 2);
    if (!parts.empty() && parts.back().size() > 2 && parts.back().compare(0, 2, "if") == 0 &&
        IsHex(parts.back().substr(2), 2)) {
      spec.Interface = static_cast<int>(std::strtol(parts.back().c_str() + 2, nullptr, 16));
      parts.pop_back();
    }
    // A serial number may hold colons of its own.
    for (size_t i = 0; i < parts.size(); ++i) spec.Serial += (i == 0 ? "" : ":") + parts[i];
    return parts.empty() || !spec.Serial.empty();
  }
  if (text.compare(0, 9, "location=") == 0) {
    spec.Kind = PortSpec::Socket;
    const std::string value = text.substr(9);
    const size_t colon = value.find(':');
    spec.Location = value.substr(0, colon);
    if (colon != std::string::npos) {
      spec.InterfaceLocation = value.substr(colon + 1);
      const std::vector<std::string> ci = Split(spec.InterfaceLocation, '.');
      if (ci.size() != 2 || !IsDigits(ci[0]) || !IsDigits(ci[1])) return false;
    }
    return IsUsbPath(spec.Location);
  }
  spec.Kind = PortSpec::Name;
  return true;
}

bool Matches(PortNaming& naming, const PortSpec& spec, const PortInfo& port) {
  switch (spec.Kind) {
    case PortSpec::Auto:
      return false;
    case PortSpec::Name:
      return naming.SamePort(naming.DevicePath(spec.Text), port.Port);
    case PortSpec::Usb:
      return port.Vid == spec.Vid && port.Pid == spec.Pid &&
             (spec.Serial.empty() || port.SerialNumber == spec.Serial) &&
             (spec.Interface < 0 || (!port.Interface.empty() &&
                                     std::strtol(port.Interface.c_str(), nullptr, 16) == spec.Interface));
    case PortSpec::Socket:
      return port.Location == spec.Location &&
             (spec.InterfaceLocation.empty() || port.InterfaceLocation == spec.InterfaceLocation);
  }
  return false;
}

PortChoice ChoosePort(PortNaming& naming, PortAccess& ports, const PortSpec& spec) {
  return ChoosePort(naming, spec, ports.Lister());
}

namespace {

// The listed ports that fit a form other than a name: auto's one preferred port, else its one port,
// or the several it cannot choose between, never the system's console; those usb: and location= name.
std::vector<const PortInfo*> FittingPorts(PortNaming& naming, const PortSpec& spec,
                                          const std::vector<PortInfo>& ports, PortChoice& choice) {
  std::vector<const PortInfo*> fit;
  if (spec.Kind != PortSpec::Auto) {
    for (const PortInfo& p : ports)
      if (Matches(naming, spec, p)) fit.push_back(&p);
    return fit;
  }
  size_t chosen = 0;
  const AutoPortResult result = AutoPortEntry(ports, chosen);
  if (result == AutoPortResult::Chosen) fit.push_back(&ports[chosen]);
  choice.SeveralPreferred = result == AutoPortResult::SeveralPreferred;
  for (const PortInfo& p : ports)
    if (!p.Console && ((result == AutoPortResult::SeveralOthers) ||
                       (result == AutoPortResult::SeveralPreferred && p.Preferred)))
      fit.push_back(&p);
  return fit;
}

}  // namespace

PortChoice ChoosePort(PortNaming& naming, const PortSpec& spec, PortLister& lister) {
  PortChoice choice;
  std::vector<PortInfo> ports;
  const bool listed = ListPorts(lister, ports);
  if (spec.Kind == PortSpec::Name) {
    // A name is the user's to give: opened as it is, listed or not.
    choice.Result = PortChoice::Chosen;
    choice.Port = spec.Text;
    for (const PortInfo& p : ports)
      if (Matches(naming, spec, p)) choice.Location = p.Location;
    return choice;
  }
  if (!listed) {
    choice.Result = PortChoice::Unreadable;
    choice.Problem = PortProblem::ListUnreadable;
    return choice;
  }
  const std::vector<const PortInfo*> fit = FittingPorts(naming, spec, ports, choice);
  if (fit.empty()) {
    choice.Result = PortChoice::NotThere;
    choice.Problem = spec.Kind == PortSpec::Auto ? PortProblem::NoneToChoose : PortProblem::Missing;
  } else if (fit.size() > 1) {
    choice.Result = PortChoice::Ambiguous;
    choice.Problem = PortProblem::Ambiguous;
    for (const PortInfo* p : fit) {
      const std::string forms = UsbForms(*p);
      choice.Candidates.push_back(ValidUtf8(p->Port) + (forms.empty() ? "" : "  " + forms));
    }
  } else {
    choice.Result = PortChoice::Chosen;
    choice.Port = fit[0]->Port;
    choice.Location = fit[0]->Location;
  }
  return choice;
}

std::vector<std::string> ChoiceProblemLines(const PortSpec& spec, const PortChoice& choice,
                                            uint32_t language) {
  std::vector<std::string> lines;
  const std::string text = ValidUtf8(spec.Text);
  switch (choice.Result) {
    case PortChoice::Unreadable:
      lines.push_back(Say(TXT_CLI_LIST_UNREADABLE, language));
      break;
    case PortChoice::NotThere:
      lines.push_back(spec.Kind == PortSpec::Auto ? Say(TXT_CLI_NO_PORT, language)
                                                  : Say(TXT_CLI_NO_MATCH, language, text.c_str()));
      break;
    case PortChoice::Ambiguous:
      if (spec.Kind != PortSpec::Auto) {
        lines.push_back(Say(TXT_CLI_SEVERAL_MATCH, language, text.c_str()));
      } else {
        lines.push_back(
            Say(choice.SeveralPreferred ? TXT_CLI_SEVERAL_PREFERRED : TXT_CLI_SEVERAL_PORTS, language));
      }
      for (const std::string& c : choice.Candidates) lines.push_back("  " + c);
      break;
    case PortChoice::Chosen:
      break;
  }
  return lines;
}

std::vector<std::string> PortProblemReport(SystemWords& words, PortProblem problem, int32_t status,
                                           const std::string& port, uint32_t language) {
  std::vector<std::string> lines{Say(TXT_CLI_PORT_UNUSABLE, language, ValidUtf8(port).c_str())};
  lines.push_back("  " + words.SystemMessage(status) + " (" + words.ErrorCode(status) + ")");
  std::vector<std::string> advice;
  switch (problem) {
    case PortProblem::Permission: {
      const std::string group = words.PortGroup(port);
      advice = {Say(TXT_CLI_ADVICE_GROUP, language, group.c_str()),
                Say(TXT_CLI_ADVICE_GROUP_COMMAND, language, group.c_str())};
      break;
    }
    case PortProblem::Busy:
      if (words.HoldersUnknown())
        advice = {Say(TXT_CLI_ADVICE_BUSY_WINDOWS, language)};
      else
        advice = {Say(TXT_CLI_ADVICE_BUSY, language), Say(TXT_CLI_ADVICE_BUSY_FIX, language),
                  Say(TXT_CLI_ADVICE_WHO, language, port.c_str())};
      break;
    case PortProblem::Missing:
      advice = {Say(TXT_CLI_ADVICE_MISSING, language), Say(TXT_CLI_ADVICE_MISSING_FIX, language)};
      break;
    case PortProblem::NotSerial:
      advice = {Say(TXT_CLI_ADVICE_NOT_SERIAL, language)};
      break;
    default:
      break;
  }
  // An advice of several lines keeps its indent on each.
  for (const std::string& text : advice)
    for (size_t start = 0, end = 0; start <= text.size(); start = end + 1) {
      end = std::min(text.find('\n', start), text.size());
      lines.push_back("  " + text.substr(start, end - start));
    }
  return lines;
}
