// What bravelle-cli needs of the system, one small interface per concern; each system's backend
// (CliPosix*.cpp, CliWin32*.cpp) fills them in and runs the command line.
#pragma once

#include <string>
#include <vector>

#include "cli/CliProcess.h"
#include "cli/HookRunner.h"
#include "cli/PortAccess.h"
#include "cli/PortNaming.h"
#include "cli/SystemWords.h"
#include "platform/Clock.h"
#include "platform/PortLock.h"
#include "platform/RecordFile.h"

struct CliSystem {
  PortNaming& Naming;
  PortAccess& Ports;
  PortLocks& Locks;
  Clock& Ticks;
  SystemWords& Words;
  HookRunner& Hooks;
  CliProcess& Process;
  RecordFiles& Files;
};

// Runs one command line (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, const CliSystem& system);
