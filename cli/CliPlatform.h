// What bravelle-cli needs of the system, one backend per platform (CliPosix.cpp, CliWin32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/PortList.h"
#include "platform/SerialDevice.h"
#include "ports/PortSelection.h"
#include "record/ReadingRecord.h"

class CliPlatform {
 public:
  virtual ~CliPlatform() = default;
  // A device of its own for each connection, so that dropping a vanished port
  // drops every descriptor the system still holds for it. Its waits end early
  // once a stop is requested.
  virtual std::unique_ptr<SerialDevice> NewSerialDevice() = 0;
  virtual Clock& Ticks() = 0;
  // The system's serial ports, with what it knows of each.
  virtual PortLister& Ports() = 0;
  // A usage message when the port is named in a way this system does not use; empty when fine.
  virtual std::string RefusedPortName(const std::string& port, uint32_t language) = 0;
  // Whether location= names a port here.
  virtual bool KnowsLocations() = 0;
  // The path the serial device opens for a port as the user names it.
  virtual std::string DevicePath(const std::string& port) = 0;
  // The same port whatever link leads to it.
  virtual bool SamePort(const std::string& a, const std::string& b) = 0;
  // Whether the port exists now (a USB bridge may be unplugged at any time).
  virtual bool PortPresent(const std::string& port) = 0;
  // The language when --lang is not given: 0 French, 1 English.
  virtual uint32_t DefaultLanguage() = 0;
  virtual PortProblem ClassifyPortError(int32_t status) = 0;
  // An error code as the system's own tools print it: "errno 13", "5".
  virtual std::string ErrorCode(int32_t status) = 0;
  // The group whose members may open the port, where the system grants ports to groups; empty elsewhere.
  virtual std::string PortGroup(const std::string& port) = 0;
  // Whether a port another program holds is all the system tells: no tool names the holder, and no
  // service of the system grabs serial ports by itself.
  virtual bool HoldersUnknown() = 0;
  // The system's words for an error code, UTF-8.
  virtual std::string SystemMessage(int32_t code) = 0;
  virtual bool IsTerminal(std::FILE* stream) = 0;
  // Whether the stream is a regular file, which can be searched and sought; a pipe, FIFO or terminal cannot.
  virtual bool IsRegularFile(std::FILE* stream) = 0;
  // Pushes a flushed stream's bytes to the disk itself.
  virtual bool SyncToDisk(std::FILE* stream) = 0;
  // Sleeps, but wakes at once when a stop is requested.
  virtual void Pause(uint32_t milliseconds) = 0;
};

// Set from the signal handler (or the console's control thread on Windows) with
// the signal's number; the command looks at it between and inside its waits.
void RequestStop(int signal);
bool StopRequested();
int StopSignal();

// Runs one command line (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, CliPlatform& platform);
