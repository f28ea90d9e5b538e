// What bravelle-cli needs of the system, one backend per platform (CliPosix.cpp, CliWin32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/PortList.h"
#include "platform/SerialDevice.h"
#include "ports/PortSelection.h"
#include "record/ReadingRecord.h"

// A file the program writes its lines to, as the system holds it: a record file is locked from the
// look at its end to the last byte of the append, so that writers in other processes take turns.
class RecordFileHandle {
 public:
  virtual ~RecordFileHandle() = default;
  // A regular file, which can be locked, read, cut back and synced; a pipe, FIFO or terminal cannot.
  virtual bool Regular() = 0;
  // Waits for the lock (exclusive, advisory), false when the system refuses it.
  virtual bool Lock() = 0;
  virtual void Unlock() = 0;
  // The size now; -1 when it cannot be told.
  virtual int64_t Size() = 0;
  // Up to count bytes from offset (fewer at the end); false on a read error.
  virtual bool ReadAt(int64_t offset, size_t count, std::string& bytes) = 0;
  // Every byte at the end of the file, or false with Error() set (a full disk may take a part).
  virtual bool Append(const std::string& bytes) = 0;
  virtual bool Truncate(int64_t size) = 0;
  virtual bool Sync() = 0;
  // Whether the path it was opened by still names this very file (not renamed, not deleted).
  virtual bool StillNamed() = 0;
  // The system's code of the last failure.
  virtual int Error() = 0;
};

// A port this program holds, as other programs can see it (a UUCP lock file); let go when destroyed.
class PortHold {
 public:
  virtual ~PortHold() = default;
};

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
  // Takes the port before it is opened: null with the system's error (EBUSY) when another program
  // holds it (its exclusive flag is set, or a live lock file names it).
  virtual std::unique_ptr<PortHold> HoldPort(const std::string& port, int32_t& status) = 0;
  // The port's one name whatever link or spelling leads to it: the kernel's device path, "COM5".
  virtual std::string CanonicalPort(const std::string& port) = 0;
  // Changes whenever a port may have come or gone (the device folder's time of change on Linux); empty
  // where the system tells no such thing.
  virtual std::string PortListStamp() = 0;
  // Whether the port exists now (a USB bridge may be unplugged at any time).
  virtual bool PortPresent(const std::string& port) = 0;
  // The language when --lang is not given: 0 French, 1 English.
  virtual uint32_t DefaultLanguage() = 0;
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
  // The width of the terminal standard error shows, in columns; 0 when unknown.
  virtual int TerminalColumns() = 0;
  // A file for appending (or, with truncate, written from its start), created when missing; the path
  // is UTF-8. "-" is not a file here: the caller hands standard output or error to StandardStream.
  // Null with the system's error code when it cannot be opened.
  virtual std::unique_ptr<RecordFileHandle> OpenRecordFile(const std::string& path, bool truncate,
                                                           int& error) = 0;
  // Standard output (1) or standard error (2) as such a file: never regular, never locked.
  virtual std::unique_ptr<RecordFileHandle> StandardStream(int which) = 0;
  // Runs a command line through the system's shell (/bin/sh -c, cmd /c) with variables added to its
  // environment and the text on its standard input, its standard output sent to standard error;
  // ended after the time limit. Returns its exit status, kHookNotRun or kHookTimedOut.
  static constexpr int kHookNotRun = -1;
  static constexpr int kHookTimedOut = -2;
  virtual int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
                      const std::string& input, uint32_t limitMs) = 0;
  // The system's words for a file error code (errno, a Windows code), UTF-8.
  virtual std::string FileErrorText(int error) = 0;
  // Sleeps, but wakes at once when a stop is requested.
  virtual void Pause(uint32_t milliseconds) = 0;
  // Ends every wait of the serial devices once the time is up, as a stop's signal does (where the
  // system can); 0 takes the request back.
  virtual void WakeWaitsAfter(uint32_t milliseconds) = 0;
};

// Set from the signal handler (or the console's control thread on Windows) with
// the signal's number; the command looks at it between and inside its waits.
void RequestStop(int signal);
bool StopRequested();
int StopSignal();

// Runs one command line (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, CliPlatform& platform);
