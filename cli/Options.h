// The command line of bravelle-cli: commands, options and their checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class CliCommand { Help, Version, Ports, Read, Watch };

struct CliOptions {
  CliCommand Command = CliCommand::Help;
  std::string Port = "auto";
  int64_t WaitMs = 10000;
  bool Json = false;
  std::string Trace;  // empty: none; "-": standard error
  std::string Log;
  int32_t Language = -1;  // -1: the platform's default
};

// False with a message for the user when the arguments are not a valid command line.
bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error);

extern const char kUsage[];
