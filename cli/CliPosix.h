// bravelle-cli's system part on Linux and other POSIX systems: the port naming rules, the ports
// (sysfs and /dev/serial, termios devices), the system's words, the --exec hook (CliPosixPorts.cpp,
// CliPosixHook.cpp); the process, its signals and main are in CliPosixMain.cpp.
#pragma once

#include <string>

#include "cli/HookRunner.h"
#include "cli/PortAccess.h"
#include "cli/PortNaming.h"
#include "cli/ShipAccess.h"
#include "cli/SystemWords.h"
#include "posix/PosixPortList.h"

// Port names are device paths; any link to a device names it too.
class PosixPortNaming : public PortNaming {
 public:
  std::string RefusedPortName(const std::string& port, uint32_t language) override;
  bool KnowsLocations() override { return true; }
  std::string DevicePath(const std::string& port) override { return port; }
  bool SamePort(const std::string& a, const std::string& b) override;
  std::string CanonicalPort(const std::string& port) override;
};

class PosixPortAccess : public PortAccess {
 public:
  // The serial devices also watch wakeFd, the read end of the pipe a stop or an alarm writes to.
  // BRAVELLE_SYSFS, BRAVELLE_DEV and BRAVELLE_CONSOLES name other trees, for tests of the port list.
  explicit PosixPortAccess(int wakeFd);
  std::unique_ptr<SerialDevice> NewSerialDevice() override;
  PortLister& Lister() override { return ports_; }
  bool PortPresent(const std::string& port) override;
  std::string PortListStamp() override;

 private:
  int wakeFd_;
  std::string devRoot_;
  PosixPortList ports_;
};

class PosixSystemWords : public SystemWords {
 public:
  std::string SystemMessage(int32_t code) override;
  std::string ErrorCode(int32_t status) override { return "errno " + std::to_string(status); }
  std::string PortGroup(const std::string& port) override;
  bool HoldersUnknown() override { return false; }
};

class PosixHookRunner : public HookRunner {
 public:
  int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
              const std::string& input, uint32_t limitMs) override;
};

class PosixShipAccess : public ShipAccess {
 public:
  ~PosixShipAccess() override;
  const odbc::Calls* Odbc(std::string& why) override;

 private:
  bool loaded_ = false;
  odbc::Calls calls_{};
};

// The value of an environment variable, or otherwise when it is unset or empty.
std::string Environment(const char* name, const char* otherwise);
