// The serial port list on POSIX: the machine's ttys from sysfs, each with what sysfs and udev tell of it.
//
// Listed are the ttys of /sys/class/tty that have a device behind them (ttyS, ttyUSB,
// ttyACM, ttyAMA, ttyXRUSB, rfcomm, ...), each by its device path, "/dev/ttyUSB0": the
// path the serial device opens, and what a user types. Legacy UART slots whose "type"
// reads 0 have no chip behind them and are left out, as Windows leaves them out;
// virtual consoles and ptys have no device and are not listed.
//
// sysfs is walked once per listing; a port plugged in since shows at the next one.
#pragma once

#include <string>
#include <vector>

#include "platform/PortList.h"

class PosixPortList : public PortLister {
 public:
  // Normally "/sys", "/dev" and "/proc/consoles"; tests point them at trees of their own.
  explicit PosixPortList(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                         std::string consoles = "/proc/consoles");

  bool ListPorts(std::vector<PortInfo>& ports) override;

 private:
  std::string sysfsRoot_;
  std::string devRoot_;
  std::string consoles_;
};
