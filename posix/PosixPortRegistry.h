// The serial port list on POSIX: the machine's ttys from sysfs, presented like the Windows SERIALCOMM key.
//
// Each port is one REG_SZ value whose data is the port's device path, "/dev/ttyUSB0":
// the path the serial device opens, and what a user types. Listed are the ttys of
// /sys/class/tty that have a device behind them (ttyS, ttyUSB, ttyACM, ttyAMA,
// ttyXRUSB, rfcomm, ...). Legacy UART slots whose "type" reads 0 have no chip
// behind them and are left out, as Windows leaves them out; virtual consoles and
// ptys have no device and are not listed.
// The value name is "\Device\<kind><k>", k being the tty's trailing number, with the
// kind taken from the tty's driver the way the Windows drivers name their devices:
// cp210x "Silabser" (the Silicon Labs bridge), ftdi_sio "VCP", cdc_acm "USBSER",
// anything else "Serial". So the port of a CP210x bridge carries "Silabser" in its
// value name on both systems, and the shared selection rules prefer it alike.
//
// The key is read when it is opened; later changes show at the next open, as a
// Windows key handle would show them at the next scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PortRegistry.h"

// What sysfs tells of one port; the USB fields stay empty for other ports.
struct SysfsPort {
  std::string Tty;     // "ttyUSB0"
  std::string Path;    // "/dev/ttyUSB0"
  std::string Driver;  // "cp210x"; empty when the device has no driver bound
  std::string Vid;     // "10c4"
  std::string Pid;     // "ea60"
  std::string Manufacturer;
  std::string Product;
  std::string SerialNumber;
  std::string Interface;          // bInterfaceNumber: "00"
  std::string InterfaceName;      // the interface's own string, where it has one
  bool OneOfSeveral = false;      // the USB device has several interfaces (ports)
  std::string PortNumber;         // the driver's port_number, within the interface
  std::string Location;           // the USB device's place on the buses: "1-1.4"
  std::string InterfaceLocation;  // its configuration and interface: "1.0"
  // The kernel's console runs on it (sysfs "console" is Y, or /proc/consoles lists it):
  // a reading there would disturb the system.
  bool Console = false;
};

class PosixPortRegistry : public PortRegistry {
 public:
  // Normally "/sys", "/dev" and "/proc/consoles"; tests point them at trees of their own.
  explicit PosixPortRegistry(std::string sysfsRoot = "/sys", std::string devRoot = "/dev",
                             std::string consoles = "/proc/consoles");

  bool KeyExists(const std::string& subkey) override;
  bool OpenKey(const std::string& subkey) override;
  bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) override;
  bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) override;
  bool QueryValueType(const std::string& name, uint32_t& type) override;
  bool QueryValueText(const std::string& name, std::string& text) override;
  void CloseKey() override;

  // Every port with what sysfs knows of it, ordered by tty name.
  std::vector<SysfsPort> Ports() const;
  // The ports of the walk the last OpenKey made: what a listing describes,
  // without a second walk of sysfs.
  const std::vector<SysfsPort>& Listed() const { return listed_; }

  // The driver-derived device kind of a tty ("Silabser" for cp210x, ...).
  static std::string DeviceKind(const std::string& driver);

 private:
  struct Value {
    std::string Name;
    std::string Data;
  };
  bool IsSerialCommKey(const std::string& subkey) const;
  const Value* Find(const std::string& name) const;

  std::string sysfsRoot_;
  std::string devRoot_;
  std::string consoles_;
  bool open_ = false;
  std::vector<Value> values_;
  std::vector<SysfsPort> listed_;
};

// Byte-wise order (the sign of strcmp) and ASCII upper case: POSIX has no user
// locale matching the Windows one, and port names are plain ASCII. Unlike
// CompareStringA it gives no weight to case or punctuation first, so "com1"
// sorts after "COM9"; the order of COM10, COM2 and COM3 is the same.
class PosixTextLocale : public TextLocale {
 public:
  int Compare(const std::string& a, const std::string& b) const override;
  std::string Upper(const std::string& text) const override;
};
