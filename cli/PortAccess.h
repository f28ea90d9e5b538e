// The system's serial ports as bravelle-cli reaches them: a device for each connection, the list of
// ports, and whether one is there now.
#pragma once

#include <memory>
#include <string>

#include "platform/PortList.h"
#include "platform/SerialDevice.h"

class PortAccess {
 public:
  virtual ~PortAccess() = default;
  // A device of its own for each connection, so that dropping a vanished port
  // drops every descriptor the system still holds for it. Its waits end early
  // once a stop is requested.
  virtual std::unique_ptr<SerialDevice> NewSerialDevice() = 0;
  // The system's serial ports, with what it knows of each.
  virtual PortLister& Lister() = 0;
  // Whether the port exists now (a USB bridge may be unplugged at any time).
  virtual bool PortPresent(const std::string& port) = 0;
  // Changes whenever a port may have come or gone (the device folder's time of change on Linux); empty
  // where the system tells no such thing.
  virtual std::string PortListStamp() = 0;
};
