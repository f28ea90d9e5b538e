// The serial port list on Windows: the ports of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, read by the port
// dialog's own rules, each with its USB identity from the device tree
// (HKLM\SYSTEM\CurrentControlSet\Enum\USB).
#pragma once

#include <string>
#include <vector>

#include "platform/PortList.h"
#include "win32/Win32PortRegistry.h"

class Win32PortList : public PortLister {
 public:
  bool ListPorts(std::vector<PortInfo>& ports) override;
  // Whether SERIALCOMM names the COM port now, without the walk of the device tree.
  bool Names(const std::string& comName);

 private:
  Win32PortRegistry registry_;
  Win32TextLocale locale_;
};
