// The machine's serial ports as each system describes them: one PortInfo per port, filled by the
// backend from its own sources (sysfs on Linux, the registry and its device tree on Windows).
#pragma once

#include <string>
#include <vector>

// Fields the system does not know stay empty.
struct PortInfo {
  std::string Port;  // the name the serial device opens and a user types: "/dev/ttyUSB0", "COM5"
  // Linux: the tty's driver ("cp210x"); Windows: the device its driver made ("\Device\Silabser0").
  std::string Driver;
  std::string Vid;  // four lowercase hex digits
  std::string Pid;
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  std::string Interface;            // the USB interface number, two hex digits
  bool OneOfSeveral = false;        // the adapter has several interfaces (ports): the number tells them apart
  std::string InterfaceName;        // the interface's own name, where it has one
  std::string PortNumber;           // the driver's number of the port within its interface
  std::string Location;             // the USB socket: "1-1.4"
  std::string InterfaceLocation;    // its configuration and interface: "1.0"
  std::vector<std::string> ById;    // /dev/serial/by-id names that lead to the port
  std::vector<std::string> ByPath;  // /dev/serial/by-path names
  // The kernel's console runs on it: a reading there would disturb the system.
  bool Console = false;
  // Set by the port rules from the fields above, not by the lister.
  bool Preferred = false;
};

class PortLister {
 public:
  virtual ~PortLister() = default;
  // Every serial port there is now, read afresh on each call; false when the
  // system's list cannot be read.
  virtual bool ListPorts(std::vector<PortInfo>& ports) = 0;
};
