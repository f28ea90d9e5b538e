// The serial port list on POSIX: the machine's ttys from sysfs, presented like the Windows SERIALCOMM key.
//
// Each port is one REG_SZ value. Its data is "COMn", the name under which the
// link opens that port, so a port chosen from the list is the port the link talks to:
//   - Without a port directory, the ttys of /sys/class/tty that have a driver
//     link. Each family of ttys owns a block of a hundred COM numbers:
//       ttyS<k> is COM<k+1>, ttyUSB<k> COM<k+101>, ttyACM<k> COM<k+201>, ttyAMA<k> COM<k+301>
//     (k from 0 to 99). ttyS<k> as COM<k+1> is also PosixSerialDevice's default
//     mapping; for the other families the serial device takes PortPathMapper(),
//     which applies this same table. Legacy UART slots whose "type" reads 0 have no
//     chip behind them and are left out, as Windows leaves them out. Virtual
//     consoles, ptys and other ttys have no driver link or no block, and are not listed.
//   - With a port directory (the folder given to PosixSerialDevice::PortDirectory),
//     every entry named COM<n> (n >= 1) there is the port COM<n>, whatever device it
//     points to.
// The value name is "\Device\<kind><k>", k being the tty's trailing number, with the
// kind taken from the tty's driver the way the Windows drivers name their devices:
// cp210x "Silabser" (the Silicon Labs bridge), ftdi_sio "VCP", cdc_acm "USBSER",
// anything else (and a device sysfs does not know, such as a pty) "Serial".
//
// The key is read when it is opened; later changes show at the next open, as a
// Windows key handle would show them at the next scan.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PortRegistry.h"

class PosixPortRegistry : public PortRegistry {
 public:
  // sysfsRoot is normally "/sys"; tests point it at a tree of their own.
  explicit PosixPortRegistry(std::string sysfsRoot = "/sys", std::string portDirectory = std::string());

  bool KeyExists(const std::string& subkey) override;
  bool OpenKey(const std::string& subkey) override;
  bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) override;
  bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) override;
  bool QueryValueType(const std::string& name, uint32_t& type) override;
  bool QueryValueText(const std::string& name, std::string& text) override;
  void CloseKey() override;

  // The COM number of a tty by the table above, 0 for a tty outside it; and back
  // ("" for a number outside it).
  static int32_t ComNumberOfTty(const std::string& tty);
  static std::string TtyOfComNumber(int32_t com);
  // Maps the link's "\\.\COMn" to /dev/<tty> by the same table, for PosixSerialDevice.
  static std::function<std::string(const std::string&)> PortPathMapper(const std::string& devRoot = "/dev");

  // The driver-derived device kind of a tty ("Silabser" for cp210x, ...).
  static std::string DeviceKind(const std::string& driver);

 private:
  struct Value {
    std::string Name;
    std::string Data;
  };
  bool IsSerialCommKey(const std::string& subkey) const;
  std::vector<Value> ReadPorts() const;
  std::string DriverOf(const std::string& tty) const;
  const Value* Find(const std::string& name) const;

  std::string sysfsRoot_;
  std::string portDirectory_;
  bool open_ = false;
  std::vector<Value> values_;
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
