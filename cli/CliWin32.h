// bravelle-cli's system part on Windows: the port naming rules, the ports (the registry's list, COM
// devices), the system's words (CliWin32Ports.cpp), the --exec hook (CliWin32Hook.cpp); the process,
// the console's events and main are in CliWin32Main.cpp.
#pragma once

#include <string>

#include "cli/HookRunner.h"
#include "cli/PortAccess.h"
#include "cli/PortNaming.h"
#include "cli/ShipAccess.h"
#include "cli/SystemWords.h"
#include "platform/PortLock.h"
#include "win32/Win32PortList.h"

// "COM5", "com5" and "\\.\COM5" name one port.
class Win32PortNaming : public PortNaming {
 public:
  std::string RefusedPortName(const std::string&, uint32_t) override { return std::string(); }
  bool KnowsLocations() override { return false; }
  std::string DevicePath(const std::string& port) override;
  bool SamePort(const std::string& a, const std::string& b) override;
  std::string CanonicalPort(const std::string& port) override;
};

class Win32PortAccess : public PortAccess {
 public:
  std::unique_ptr<SerialDevice> NewSerialDevice() override;
  PortLister& Lister() override { return ports_; }
  bool PortPresent(const std::string& port) override;
  std::string PortListStamp() override { return std::string(); }

 private:
  Win32PortList ports_;
};

// CreateFile opens a COM port for one program only: Windows itself refuses a held port.
class Win32PortLocks : public PortLocks {
 public:
  std::unique_ptr<PortHold> Hold(const std::string&, int32_t&, PortHolder&) override {
    return std::make_unique<PortHold>();
  }
};

class Win32SystemWords : public SystemWords {
 public:
  std::string SystemMessage(int32_t code) override;
  std::string ErrorCode(int32_t status) override { return std::to_string(status); }
  std::string PortGroup(const std::string&) override { return std::string(); }
  // A COM port opens for one program at a time, and nothing says which holds it.
  bool HoldersUnknown() override { return true; }
};

class Win32HookRunner : public HookRunner {
 public:
  int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
              const std::string& input, uint32_t limitMs) override;
};

class Win32ShipAccess : public ShipAccess {
 public:
  const odbc::Calls* Odbc(std::string& why) override;

 private:
  bool loaded_ = false;
  odbc::Calls calls_{};
};
