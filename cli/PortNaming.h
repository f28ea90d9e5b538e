// How the system names its serial ports, for bravelle-cli: the forms it refuses, the device a name
// opens, and one name per port whatever link or spelling leads to it.
#pragma once

#include <cstdint>
#include <string>

class PortNaming {
 public:
  virtual ~PortNaming() = default;
  // A usage message when the port is named in a way this system does not use; empty when fine.
  virtual std::string RefusedPortName(const std::string& port, uint32_t language) = 0;
  // Whether location= names a port here.
  virtual bool KnowsLocations() = 0;
  // The path the serial device opens for a port as the user names it.
  virtual std::string DevicePath(const std::string& port) = 0;
  // The same port whatever link leads to it.
  virtual bool SamePort(const std::string& a, const std::string& b) = 0;
  // The port's one name whatever link or spelling leads to it: the kernel's device path, "COM5".
  virtual std::string CanonicalPort(const std::string& port) = 0;
};
