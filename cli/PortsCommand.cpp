// bravelle-cli ports: every serial port with what the system knows of it, as text or JSON.
#include "cli/Commands.h"
#include "record/RecordCodec.h"
#include "text/Utf8.h"

namespace {

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i == 0 ? "" : ",") + JsonString(items[i]);
  return out + "]";
}

std::string PortJson(const PortInfo& d, bool selected) {
  std::string out = "{\"port\":" + JsonString(d.Port) + ",\"driver\":" + JsonString(d.Driver) +
                    ",\"preferred\":" + (d.Preferred ? "true" : "false") +
                    ",\"selected\":" + (selected ? "true" : "false");
  if (d.Console) out += ",\"console\":true";
  const std::pair<const char*, const std::string*> texts[] = {
      {"vid", &d.Vid},
      {"pid", &d.Pid},
      {"manufacturer", &d.Manufacturer},
      {"product", &d.Product},
      {"serial_number", &d.SerialNumber},
      {"interface", &d.Interface},
      {"interface_name", &d.InterfaceName},
      {"port_number", &d.PortNumber},
  };
  for (const auto& [name, value] : texts)
    if (!value->empty()) out += std::string(",\"") + name + "\":" + JsonString(*value);
  if (!d.Location.empty())
    out += ",\"location\":" +
           JsonString(d.Location + (d.InterfaceLocation.empty() ? "" : ":" + d.InterfaceLocation));
  if (!d.ById.empty()) out += ",\"by_id\":" + JsonList(d.ById);
  if (!d.ByPath.empty()) out += ",\"by_path\":" + JsonList(d.ByPath);
  return out + "}";
}

std::vector<std::string> PortLines(const PortInfo& d, bool selected, uint32_t language) {
  std::string line = (selected ? "> " : "  ") + ValidUtf8(d.Port);
  if (!d.Driver.empty()) line += "  " + ValidUtf8(d.Driver);
  if (!d.Vid.empty()) line += "  " + d.Vid + ":" + d.Pid;
  for (const std::string* text : {&d.Manufacturer, &d.Product})
    if (!text->empty()) line += "  " + ValidUtf8(*text);
  if (!d.SerialNumber.empty())
    line += "  " + Say(TXT_CLI_PORTS_SERIAL, language, ValidUtf8(d.SerialNumber).c_str());
  if (d.Preferred) line += "  " + Say(TXT_CLI_PORTS_PREFERRED, language);
  if (d.Console) line += "  " + Say(TXT_CLI_PORTS_CONSOLE, language);
  std::vector<std::string> lines{line};
  // Where the port sits, on a line of its own: what tells apart the ports of one adapter, or of twins.
  std::string place;
  if (!d.Location.empty())
    place += Say(TXT_CLI_PORTS_LOCATION, language,
                 (d.Location + (d.InterfaceLocation.empty() ? "" : ":" + d.InterfaceLocation)).c_str());
  if (!d.Interface.empty() && d.OneOfSeveral) {
    place += (place.empty() ? "" : "  ") + Say(TXT_CLI_PORTS_INTERFACE, language, d.Interface.c_str());
    if (!d.InterfaceName.empty()) place += " \"" + ValidUtf8(d.InterfaceName) + "\"";
  }
  if (!d.PortNumber.empty())
    place += (place.empty() ? "" : "  ") + Say(TXT_CLI_PORTS_PORT_NUMBER, language, d.PortNumber.c_str());
  if (!place.empty()) lines.push_back("    " + place);
  for (const auto* names : {&d.ById, &d.ByPath})
    for (const std::string& name : *names) lines.push_back("    " + ValidUtf8(name));
  return lines;
}

}  // namespace

int RunPorts(CliContext& cx) {
  std::vector<PortInfo> ports;
  if (!ListPorts(cx.Ports.Lister(), ports)) {
    cx.Terminal.Err(Say(TXT_CLI_LIST_UNREADABLE, cx.Language));
    return ExitCode(ReadingOutcome::PortError);
  }
  size_t chosen = 0;
  const AutoPortResult automatic = AutoPortEntry(ports, chosen);
  // The port auto takes, marked in the list; none when auto takes none.
  const size_t selected = automatic == AutoPortResult::Chosen ? chosen : ports.size();
  if (cx.Options.Json) {
    std::string out = "[";
    for (size_t i = 0; i < ports.size(); ++i)
      out += (i == 0 ? "\n  " : ",\n  ") + PortJson(ports[i], i == selected);
    cx.Terminal.Out(out + (ports.empty() ? "]" : "\n]"));
  } else {
    if (ports.empty()) cx.Terminal.Out(Say(TXT_CLI_PORTS_NONE, cx.Language));
    for (size_t i = 0; i < ports.size(); ++i)
      for (const std::string& line : PortLines(ports[i], i == selected, cx.Language)) cx.Terminal.Out(line);
    switch (automatic) {
      case AutoPortResult::Chosen:
        cx.Terminal.Out(Say(TXT_CLI_PORTS_AUTO, cx.Language, ValidUtf8(ports[chosen].Port).c_str()));
        break;
      case AutoPortResult::SeveralPreferred:
        cx.Terminal.Out(Say(TXT_CLI_PORTS_AUTO_SEVERAL, cx.Language));
        break;
      case AutoPortResult::SeveralOthers:
        cx.Terminal.Out(Say(TXT_CLI_PORTS_AUTO_NONE, cx.Language));
        break;
      case AutoPortResult::None:
        break;
    }
  }
  return ReportWriteFailures(cx.Terminal, {});
}
