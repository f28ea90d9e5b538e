// What bravelle-cli needs of the system, one backend per platform (CliPosix.cpp, CliWin32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/PortRegistry.h"
#include "platform/SerialDevice.h"
#include "ports/PortSelection.h"

// One port as `ports` shows it; fields the system does not know stay empty.
struct PortDescription {
  std::string Port;
  std::string Driver;
  std::string Vid;
  std::string Pid;
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  bool Preferred = false;
  bool Selected = false;
};

class CliPlatform {
 public:
  virtual ~CliPlatform() = default;
  // A device of its own for each connection, so that dropping a vanished port
  // drops every descriptor the system still holds for it.
  virtual std::unique_ptr<SerialDevice> NewSerialDevice() = 0;
  virtual Clock& Ticks() = 0;
  virtual PortRegistry& Registry() = 0;
  virtual const TextLocale& Locale() = 0;
  // Adds what the system knows of a listed port beyond its name.
  virtual void Describe(const PortListEntry& entry, PortDescription& port) = 0;
  // The path the serial device opens for a port as the user names it.
  virtual std::string DevicePath(const std::string& port) = 0;
  // Whether the port exists now (a USB bridge may be unplugged at any time).
  virtual bool PortPresent(const std::string& port) = 0;
  // The language when --lang is not given: 0 French, 1 English.
  virtual uint32_t DefaultLanguage() = 0;
  // Why the port cannot be used, for a person, and what usually fixes it; one line each.
  virtual std::vector<std::string> PortProblem(int32_t status, const std::string& port,
                                               uint32_t language) = 0;
  virtual bool IsTerminal(std::FILE* stream) = 0;
  // Pushes a flushed stream's bytes to the disk itself.
  virtual bool SyncToDisk(std::FILE* stream) = 0;
};

// Set from the interrupt handler (a signal, or the console's control thread on
// Windows); the command looks at it between two operations of the link.
void RequestStop();
bool StopRequested();

// Runs one command line (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, CliPlatform& platform);
