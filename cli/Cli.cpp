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

int RunCli(const std::vector<std::string>& args, CliPlatform& platform) {
  CliOptions options;
  UsageError error;
  const bool parsed = ParseArguments(args, options, error);
  const uint32_t language =
      options.Language >= 0 ? static_cast<uint32_t>(options.Language) : platform.DefaultLanguage();
  // The trace on standard error has the line to itself.
  Console terminal(platform, language, options.Trace == "-");
  if (!parsed) {
    terminal.Err(Say(
        TXT_CLI_USAGE_ERROR, language,
        Say(error.Id, language, ValidUtf8(error.Argument).c_str(), ValidUtf8(error.Second).c_str()).c_str()));
    terminal.Err(Synopsis(language));
    return kExitUsage;
  }
  for (const std::string& port : options.Ports) {
    const std::string refused = platform.RefusedPortName(port, language);
    PortSpec spec;
    ParsePortSpec(port, spec);
    if (refused.empty() && !(spec.Kind == PortSpec::Socket && !platform.KnowsLocations())) continue;
    terminal.Err(Say(TXT_CLI_USAGE_ERROR, language,
                     (refused.empty() ? Say(TXT_CLI_NO_LOCATION_HERE, language) : refused).c_str()));
    return kExitUsage;
  }
  CliContext cx{platform, options, terminal, language};
  switch (options.Command) {
    case CliCommand::Help: {
      std::string help = CommandHelp(options.HelpFor, language);
      if (!help.empty() && help.back() == '\n') help.pop_back();
      terminal.Out(help);
      return ReportWriteFailures(terminal, {});
    }
    case CliCommand::Version:
      terminal.Out(std::string("bravelle-cli ") + BRAVELLE_VERSION);
      return ReportWriteFailures(terminal, {});
    case CliCommand::Ports:
      return RunPorts(cx);
    case CliCommand::Read:
      return RunRead(cx);
    case CliCommand::Watch:
      return RunWatch(cx);
  }
  return kExitUsage;
}
