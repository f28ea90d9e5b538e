// How bravelle-cli runs the --exec command: through the system's shell, within a time limit.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class HookRunner {
 public:
  virtual ~HookRunner() = default;
  static constexpr int kHookNotRun = -1;
  static constexpr int kHookTimedOut = -2;
  // Runs a command line through the system's shell (/bin/sh -c, cmd /c) with variables added to its
  // environment and the text on its standard input, its standard output sent to standard error;
  // ended after the time limit. Returns its exit status, kHookNotRun or kHookTimedOut.
  virtual int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
                      const std::string& input, uint32_t limitMs) = 0;
};
