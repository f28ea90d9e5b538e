// bravelle-cli: the command line read, the language chosen, and the command run.
#include <atomic>
#include <cstdio>

#include "cli/Commands.h"
#include "text/Utf8.h"

#ifndef BRAVELLE_VERSION
#define BRAVELLE_VERSION "unknown"
#endif

namespace {

std::atomic<int> g_signal{0};

}  // namespace

void RequestStop(int signal) {
  int none = 0;
  // The first signal decides the exit code; a second one changes nothing.
  g_signal.compare_exchange_strong(none, signal > 0 ? signal : 2);
}
bool StopRequested() { return g_signal.load() != 0; }
int StopSignal() { return g_signal.load(); }

namespace {

// A port named in a way this system does not use, or by a socket where the system tells none: a usage
// error, said before anything is opened; false when every port is fine.
bool RefusePortNames(const CliContext& cx) {
  for (const std::string& port : cx.Options.Ports) {
    const std::string refused = cx.Naming.RefusedPortName(port, cx.Language);
    PortSpec spec;
    ParsePortSpec(port, spec);
    if (refused.empty() && !(spec.Kind == PortSpec::Socket && !cx.Naming.KnowsLocations())) continue;
    cx.Terminal.Err(Say(TXT_CLI_USAGE_ERROR, cx.Language,
                        (refused.empty() ? Say(TXT_CLI_NO_LOCATION_HERE, cx.Language) : refused).c_str()));
    return true;
  }
  return false;
}

int RunCommand(CliContext& cx) {
  switch (cx.Options.Command) {
    case CliCommand::Help: {
      std::string help = CommandHelp(cx.Options.HelpFor, cx.Language);
      if (!help.empty() && help.back() == '\n') help.pop_back();
      cx.Terminal.Out(help);
      return ReportWriteFailures(cx.Terminal, {});
    }
    case CliCommand::Version:
      cx.Terminal.Out(std::string("bravelle-cli ") + BRAVELLE_VERSION);
      return ReportWriteFailures(cx.Terminal, {});
    case CliCommand::Ports:
      return RunPorts(cx);
    case CliCommand::Read:
      return RunRead(cx);
    case CliCommand::Watch:
      return RunWatch(cx);
  }
  return kExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const CliSystem& system) {
  CliOptions options;
  UsageError error;
  const bool parsed = ParseArguments(args, options, error);
  const uint32_t language =
      options.Language >= 0 ? static_cast<uint32_t>(options.Language) : system.Process.DefaultLanguage();
  // The trace on standard error has the line to itself.
  Console terminal(system.Process, language, options.Trace == "-");
  if (!parsed) {
    terminal.Err(Say(
        TXT_CLI_USAGE_ERROR, language,
        Say(error.Id, language, ValidUtf8(error.Argument).c_str(), ValidUtf8(error.Second).c_str()).c_str()));
    terminal.Err(Synopsis(language));
    return kExitUsage;
  }
  CliContext cx{system, options, terminal, language};
  if (RefusePortNames(cx)) return kExitUsage;
  return RunCommand(cx);
}
