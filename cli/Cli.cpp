// bravelle-cli's commands: ports, read and watch, on the link and the port selection rules.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/CliPlatform.h"
#include "cli/LineDevices.h"
#include "cli/Options.h"
#include "cli/Record.h"
#include "link/Com_p04.h"

#ifndef BRAVELLE_VERSION
#define BRAVELLE_VERSION "unknown"
#endif

namespace {

std::atomic<bool> g_stop{false};

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point from) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - from).count();
}

int64_t UnixMsNow() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The link's own codes lie above 100000; below are the system's error codes.
bool IsSystemError(int32_t status) { return status != 0 && status < COMERR_NOT_CONNECTED; }

void PrintLines(std::FILE* to, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(to, "%s\n", line.c_str());
}

// One line rewritten in place on a terminal; nothing at all elsewhere.
class Progress {
 public:
  // shared: standard error also carries the trace, whose lines the rewritten
  // line would be glued to and overwrite.
  Progress(CliPlatform& platform, bool shared = false) : enabled_(!shared && platform.IsTerminal(stderr)) {}
  ~Progress() { Clear(); }
  void Show(const std::string& text) {
    if (!enabled_) return;
    std::string line = "\r" + text;
    if (text.size() < width_) line += std::string(width_ - text.size(), ' ');
    width_ = text.size();
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
  void Clear() {
    if (!enabled_ || width_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  bool enabled_;
  size_t width_ = 0;
};

std::string WaitingText(const std::string& port, int64_t ms, int attempts, uint32_t language) {
  const std::string seconds = std::to_string(ms / 1000);
  const std::string count = std::to_string(attempts);
  if (language == 0)
    return "Attente d'un appareil sur " + port + " : " + seconds + " s, " + count + " essai(s)";
  return "Waiting for a unit on " + port + ": " + seconds + " s, " + count + " attempt(s)";
}

// The link pauses one second before every handshake by reading the tick counter
// in a tight loop, which keeps a processor busy for that second; a watch on a
// bench repeats the handshake all day. Here each reading of the counter first
// gives the processor away for a millisecond: the pause still lasts at least as
// long, and costs next to nothing.
class YieldingClock : public Clock {
 public:
  explicit YieldingClock(Clock& inner) : inner_(inner) {}
  uint32_t TickCount() override {
    inner_.Sleep(1);
    return inner_.TickCount();
  }
  void Sleep(uint32_t milliseconds) override { inner_.Sleep(milliseconds); }

 private:
  Clock& inner_;
};

// The link over the port the user named, with every byte reported to the trace.
class Connection {
 public:
  Connection(CliPlatform& platform, const std::string& port, TracingSerialDevice::Sink sink)
      : device_(platform.NewSerialDevice()),
        redirect_(*device_, platform.DevicePath(port)),
        trace_(redirect_, std::move(sink)),
        ticks_(platform.Ticks()),
        link_(trace_, ticks_) {}
  TComP04& Link() { return link_; }

 private:
  std::unique_ptr<SerialDevice> device_;
  RedirectedSerialDevice redirect_;
  TracingSerialDevice trace_;
  YieldingClock ticks_;
  TComP04 link_;  // last: destroyed first, so the unit is released and the port closed through the others
};

// After the handshake, in the window's order: the type check, the serial number,
// the circuit version, the software version. The first failing step decides.
void ReadIdentity(TComP04& link, Reading& r) {
  char type[4] = {};
  // The same bytes and rule as CheckUnitType, which keeps the characters to itself.
  int32_t status = link.ReadUnitType(type);
  r.HasStatus = true;
  r.Status = status;
  if (status != 0) {
    r.Result = Outcome::LinkLost;
    return;
  }
  r.HasType = true;
  r.Type.assign(type, 3);
  if (!TComP04::IsThisUnitType(type)) {
    r.Result = Outcome::WrongUnit;
    r.Status = COMERR_WRONG_UNIT;
    return;
  }
  uint32_t serial = 0;
  if ((r.Status = link.ReadSerialNumber(serial)) != 0) {
    r.Result = Outcome::LinkLost;
    return;
  }
  r.HasSerial = true;
  r.Serial = serial;
  int32_t circuit = 0;
  if ((r.Status = link.ReadCircuitVersion(circuit)) != 0) {
    r.Result = Outcome::LinkLost;
    return;
  }
  r.HasCircuit = true;
  r.Circuit = circuit;
  int32_t major = 0;
  int32_t minor = 0;
  if ((r.Status = link.ReadSoftwareVersion(major, minor)) != 0) {
    r.Result = Outcome::LinkLost;
    return;
  }
  r.HasSoftware = true;
  r.SoftwareMajor = major;
  r.SoftwareMinor = minor;
  r.Result = Outcome::Ok;
}

void ReportPortProblem(CliPlatform& platform, int32_t status, const std::string& port, uint32_t language) {
  const std::string head =
      language == 0 ? "Le port " + port + " est inutilisable :" : "Cannot use the port " + port + ":";
  std::fprintf(stderr, "%s\n", head.c_str());
  for (const std::string& line : platform.PortProblem(status, port, language))
    std::fprintf(stderr, "  %s\n", line.c_str());
}

enum class Choice { Chosen, NoPort, Unreadable, Ambiguous };

// "auto": the first preferred port, else the only one. The reason is printed
// when there is none (unless quietWhenNone: a watch waits for one), when the
// list cannot be read, or when there are several and none preferred.
Choice ChoosePort(CliPlatform& platform, const std::string& wanted, uint32_t language, std::string& port,
                  bool quietWhenNone) {
  if (wanted != "auto") {
    port = wanted;
    return Choice::Chosen;
  }
  std::vector<PortListEntry> entries;
  if (ReadPortList(platform.Registry(), platform.Locale(), entries) == PortListResult::Unreadable) {
    if (!quietWhenNone)
      std::fprintf(stderr, "%s\n",
                   language == 0 ? "La liste des ports s\xc3\xa9rie est illisible."
                                 : "The serial port list cannot be read.");
    return Choice::Unreadable;
  }
  const int32_t chosen = AutoPortEntry(entries);
  if (chosen >= 0) {
    port = entries[static_cast<size_t>(chosen)].Port;
    return Choice::Chosen;
  }
  if (entries.empty()) {
    if (!quietWhenNone)
      std::fprintf(stderr, "%s\n",
                   language == 0 ? "Aucun port s\xc3\xa9rie : branchez le c\xc3\xa2"
                                   "ble de l'appareil."
                                 : "There is no serial port: plug in the unit's cable.");
    return Choice::NoPort;
  }
  std::fprintf(stderr, "%s\n",
               language == 0 ? "Plusieurs ports et aucun n'est celui du c\xc3\xa2"
                               "ble CP210x ; choisissez avec --port :"
                             : "Several ports and none of them the CP210x cable's; choose one with --port:");
  for (const PortListEntry& e : entries) std::fprintf(stderr, "  %s\n", e.Port.c_str());
  return Choice::Ambiguous;
}

int RunPorts(CliPlatform& platform, const CliOptions& options) {
  std::vector<PortListEntry> entries;
  if (ReadPortList(platform.Registry(), platform.Locale(), entries) == PortListResult::Unreadable) {
    std::fprintf(stderr, "The serial port list cannot be read.\n");
    return 4;
  }
  const int32_t chosen = AutoPortEntry(entries);
  std::vector<PortDescription> ports;
  for (size_t i = 0; i < entries.size(); ++i) {
    PortDescription d;
    d.Port = entries[i].Port;
    d.Preferred = entries[i].Preferred;
    d.Selected = static_cast<int32_t>(i) == chosen;
    platform.Describe(entries[i], d);
    ports.push_back(d);
  }
  if (options.Json) {
    std::string out = "[";
    for (size_t i = 0; i < ports.size(); ++i) {
      const PortDescription& d = ports[i];
      out += i == 0 ? "\n  " : ",\n  ";
      out += "{\"port\":" + JsonString(d.Port) + ",\"driver\":" + JsonString(d.Driver) +
             ",\"preferred\":" + (d.Preferred ? "true" : "false") +
             ",\"selected\":" + (d.Selected ? "true" : "false");
      const std::pair<const char*, const std::string*> extra[] = {{"vid", &d.Vid},
                                                                  {"pid", &d.Pid},
                                                                  {"manufacturer", &d.Manufacturer},
                                                                  {"product", &d.Product},
                                                                  {"serial_number", &d.SerialNumber}};
      for (const auto& [name, value] : extra)
        if (!value->empty()) out += std::string(",\"") + name + "\":" + JsonString(*value);
      out += "}";
    }
    out += ports.empty() ? "]\n" : "\n]\n";
    std::fputs(out.c_str(), stdout);
    return 0;
  }
  if (ports.empty()) std::printf("No serial port.\n");
  for (const PortDescription& d : ports) {
    std::string line = (d.Selected ? "> " : "  ") + d.Port;
    if (!d.Driver.empty()) line += "  " + d.Driver;
    if (!d.Vid.empty()) line += "  " + d.Vid + ":" + d.Pid;
    for (const std::string* text : {&d.Manufacturer, &d.Product})
      if (!text->empty()) line += "  " + *text;
    if (!d.SerialNumber.empty()) line += "  serial " + d.SerialNumber;
    if (d.Preferred) line += "  [preferred]";
    std::printf("%s\n", line.c_str());
  }
  if (chosen >= 0) {
    std::printf("auto: %s\n", ports[static_cast<size_t>(chosen)].Port.c_str());
  } else if (ports.size() > 1) {
    std::printf("auto: none (several ports, none preferred; give --port)\n");
  }
  return 0;
}

int RunRead(CliPlatform& platform, const CliOptions& options, uint32_t language) {
  const Steady::time_point start = Steady::now();
  Reading r;
  r.StartUnixMs = UnixMsNow();
  auto finish = [&](Outcome outcome) {
    r.Result = outcome;
    r.ElapsedMs = MsSince(start);
    if (options.Json) {
      if (outcome != Outcome::Interrupted) std::printf("%s\n", ReadingJson(r).c_str());
    } else {
      PrintLines(stdout, ReadingLines(r, language));
    }
    std::fflush(stdout);
    const std::string message = FailureMessage(r, options.WaitMs, language);
    if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
    return ExitCode(outcome);
  };

  std::FILE* trace = nullptr;
  bool ownTrace = false;
  if (options.Trace == "-") {
    trace = stderr;
  } else if (!options.Trace.empty()) {
    trace = std::fopen(options.Trace.c_str(), "w");
    if (trace == nullptr) {
      std::fprintf(stderr, "bravelle-cli: cannot write the trace to %s: %s\n", options.Trace.c_str(),
                   std::strerror(errno));
      return 64;
    }
    ownTrace = true;
  }
  struct TraceCloser {
    std::FILE* file;
    bool own;
    ~TraceCloser() {
      if (file != nullptr) std::fflush(file);
      if (own) std::fclose(file);
    }
  } traceCloser{trace, ownTrace};

  if (ChoosePort(platform, options.Port, language, r.Port, false) != Choice::Chosen)
    return finish(Outcome::PortError);

  TracingSerialDevice::Sink sink;
  if (trace != nullptr) {
    sink = [trace, start](bool hostToUnit, uint8_t byte) {
      std::fprintf(trace, "%s\n", TraceLine(MsSince(start), hostToUnit, byte).c_str());
    };
  }
  Outcome outcome = Outcome::NoAnswer;
  {
    Connection connection(platform, r.Port, sink);
    TComP04& link = connection.Link();
    Progress progress(platform, trace == stderr);
    int attempts = 0;
    for (;;) {
      progress.Show(WaitingText(r.Port, MsSince(start), attempts, language));
      ++attempts;
      const int32_t status = link.Connect(1);
      r.HasStatus = true;
      r.Status = status;
      if (status == 0) break;
      if (StopRequested()) {
        outcome = Outcome::Interrupted;
        break;
      }
      if (IsSystemError(status)) {
        outcome = Outcome::PortError;
        break;
      }
      if (MsSince(start) >= options.WaitMs) {
        outcome = Outcome::NoAnswer;
        break;
      }
    }
    progress.Clear();
    if (link.Connected != 0) {
      ReadIdentity(link, r);
      outcome = r.Result;
    }
    // Close begins with the release (the baud request for 9600, the pause, the
    // end command) and puts the port's own settings back before closing it.
    link.Close();
  }
  if (outcome == Outcome::PortError) ReportPortProblem(platform, r.Status, r.Port, language);
  return finish(StopRequested() && outcome != Outcome::Ok ? Outcome::Interrupted : outcome);
}

// The serial number of the last record of an existing log, so that a bench that
// restarts the watch still flags the unit it has just read.
bool LastLoggedSerial(const std::string& path, uint32_t& serial) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::string last;
  std::string line;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, f) != nullptr) {
    line += buffer;
    if (!line.empty() && line.back() == '\n') {
      last = line;
      line.clear();
    }
  }
  std::fclose(f);
  const size_t at = last.find("\"serial\":");
  if (at == std::string::npos) return false;
  unsigned long value = 0;
  size_t i = at + 9;
  if (i >= last.size() || last[i] < '0' || last[i] > '9') return false;
  for (; i < last.size() && last[i] >= '0' && last[i] <= '9'; ++i) value = value * 10 + (last[i] - '0');
  serial = static_cast<uint32_t>(value);
  return true;
}

// Whether the file exists, is not empty and does not end with a line break: an
// earlier run stopped in the middle of a record (a power cut).
bool EndsWithBrokenLine(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bool broken = false;
  if (std::fseek(f, -1, SEEK_END) == 0) broken = std::fgetc(f) != '\n';
  std::fclose(f);
  return broken;
}

int RunWatch(CliPlatform& platform, const CliOptions& options, uint32_t language) {
  uint32_t previousSerial = 0;
  bool havePrevious = LastLoggedSerial(options.Log, previousSerial);
  const bool brokenLine = EndsWithBrokenLine(options.Log);
  std::FILE* log = std::fopen(options.Log.c_str(), "ab");
  // The broken record stays as it is, on a line of its own.
  if (log != nullptr && brokenLine && (std::fputc('\n', log) == EOF || std::fflush(log) != 0)) {
    std::fclose(log);
    log = nullptr;
  }
  if (log == nullptr) {
    std::fprintf(stderr, "bravelle-cli: cannot open the log %s: %s\n", options.Log.c_str(),
                 std::strerror(errno));
    return 64;
  }
  Progress progress(platform);
  std::unique_ptr<Connection> connection;
  std::string port;
  int exitCode = 0;
  const uint32_t pollMs = 500;
  // A port that is there but cannot be used (another program holds it, no
  // permission) is told once per cause: the watch goes on trying, as such a
  // cause is often mended while it waits.
  int32_t reportedProblem = 0;

  while (!StopRequested()) {
    // Wait for a unit: the port appears, then a unit answers the handshake.
    const Steady::time_point waitStart = Steady::now();
    int attempts = 0;
    bool connected = false;
    Steady::time_point attemptStart = waitStart;
    int64_t attemptUnixMs = 0;
    while (!StopRequested()) {
      progress.Show(WaitingText(port.empty() ? options.Port : port, MsSince(waitStart), attempts, language));
      if (!connection) {
        std::string chosen;
        const Choice choice = ChoosePort(platform, options.Port, language, chosen, true);
        // Several ports and none preferred will not sort itself out by waiting.
        if (choice == Choice::Ambiguous) {
          exitCode = 4;
          break;
        }
        if (choice != Choice::Chosen) {
          platform.Ticks().Sleep(pollMs);
          continue;
        }
        if (!platform.PortPresent(chosen)) {
          platform.Ticks().Sleep(pollMs);
          continue;
        }
        port = chosen;
        connection = std::make_unique<Connection>(platform, port, nullptr);
      }
      ++attempts;
      attemptStart = Steady::now();
      attemptUnixMs = UnixMsNow();
      const int32_t status = connection->Link().Connect(1);
      if (status == 0) {
        connected = true;
        break;
      }
      if (IsSystemError(status)) {
        if (status != reportedProblem && platform.PortPresent(port)) {
          progress.Clear();
          ReportPortProblem(platform, status, port, language);
          reportedProblem = status;
        }
        // Not there, or gone under us: let go of everything the system holds for it.
        connection.reset();
        platform.Ticks().Sleep(pollMs);
      }
    }
    if (connected) reportedProblem = 0;
    if (exitCode != 0 || !connected) break;
    progress.Clear();

    Reading r;
    r.Port = port;
    r.StartUnixMs = attemptUnixMs;
    ReadIdentity(connection->Link(), r);
    connection->Link().Release();
    r.ElapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - attemptStart).count();
    r.Repeat = r.HasSerial && havePrevious && r.Serial == previousSerial;
    if (r.HasSerial) {
      previousSerial = r.Serial;
      havePrevious = true;
    }
    // One write per record, then down to the disk before the next unit.
    const std::string record = ReadingJson(r) + "\n";
    if (std::fwrite(record.data(), 1, record.size(), log) != record.size() || std::fflush(log) != 0 ||
        !platform.SyncToDisk(log)) {
      std::fprintf(stderr, "bravelle-cli: cannot write to the log %s: %s\n", options.Log.c_str(),
                   std::strerror(errno));
      exitCode = 4;
      break;
    }
    std::printf("%s\n", WatchLine(r, language).c_str());
    std::fflush(stdout);

    // Wait until that unit is gone: its port vanished, or it no longer answers.
    while (!StopRequested()) {
      if (!platform.PortPresent(port)) {
        connection.reset();
        break;
      }
      const int32_t status = connection->Link().Connect(1);
      if (status == 0) {
        connection->Link().Release();
        continue;
      }
      if (IsSystemError(status)) connection.reset();
      break;
    }
    if (options.Port == "auto" && connection == nullptr) port.clear();
  }
  progress.Clear();
  // Releases the unit and closes the port.
  connection.reset();
  std::fclose(log);
  return exitCode;
}

}  // namespace

void RequestStop() { g_stop = true; }
bool StopRequested() { return g_stop; }

int RunCli(const std::vector<std::string>& args, CliPlatform& platform) {
  CliOptions options;
  std::string error;
  if (!ParseArguments(args, options, error)) {
    std::fprintf(stderr, "bravelle-cli: %s\n%s", error.c_str(), kUsage);
    return 64;
  }
  const uint32_t language =
      options.Language >= 0 ? static_cast<uint32_t>(options.Language) : platform.DefaultLanguage();
  switch (options.Command) {
    case CliCommand::Help:
      std::fputs(kUsage, stdout);
      return 0;
    case CliCommand::Version:
      std::printf("bravelle-cli %s\n", BRAVELLE_VERSION);
      return 0;
    case CliCommand::Ports:
      return RunPorts(platform, options);
    case CliCommand::Read:
      return RunRead(platform, options, language);
    case CliCommand::Watch:
      return RunWatch(platform, options, language);
  }
  return 64;
}
