// PosixPortList over a sysfs tree built in a temporary folder: the fields of each port, and the choice of
// auto among them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "ports/PortSelection.h"
#include "posix/PosixPortList.h"

namespace fs = std::filesystem;

namespace {

class SysfsPortListFixture : public ::testing::Test {
 public:
  SysfsPortListFixture() {
    std::string pattern = (fs::temp_directory_path() / "bravelle-sysfs-XXXXXX").string();
    root = mkdtemp(&pattern[0]);
    fs::create_directories(root / "class" / "tty");
  }
  ~SysfsPortListFixture() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  // A tty with a driver link, as the kernel lays it out: class/tty/<tty>/device/driver.
  void AddTty(const std::string& tty, const std::string& driver, const char* uartType = nullptr) {
    AddTtyAt(root / "devices" / "platform" / tty, tty, driver, uartType);
  }
  // A USB serial tty: the USB device (with its descriptor strings) holds an
  // interface, which holds the tty's device, as ttyUSB ports are laid out;
  // ttyACM ones sit on the interface itself (atInterface).
  void AddUsbTty(const std::string& tty, const std::string& driver, const std::string& vid,
                 const std::string& pid, const char* manufacturer, const char* product, const char* serial,
                 bool atInterface = false) {
    const fs::path usb = root / "devices" / "pci0000:00" / "usb1" / ("1-" + std::to_string(++usbCount));
    fs::create_directories(usb);
    std::ofstream(usb / "idVendor") << vid << "\n";
    std::ofstream(usb / "idProduct") << pid << "\n";
    if (manufacturer != nullptr) std::ofstream(usb / "manufacturer") << manufacturer << "\n";
    if (product != nullptr) std::ofstream(usb / "product") << product << "\n";
    if (serial != nullptr) std::ofstream(usb / "serial") << serial << "\n";
    const fs::path interface = usb / ("1-" + std::to_string(usbCount) + ":1.0");
    AddTtyAt(atInterface ? interface : interface / tty, tty, driver, nullptr);
  }
  // A UART as Linux 6.5 and later lay it out: the tty's device is the serial core's
  // port, below its controller, below the chip's device that the real driver owns.
  void AddSerialCoreTty(const std::string& tty, const std::string& driver) {
    const fs::path chip = root / "devices" / "pnp0" / ("00:0" + tty.substr(tty.size() - 1));
    fs::create_directories(chip);
    Bind(chip, "pnp", driver);
    const fs::path ctrl = chip / (chip.filename().string() + ":0");
    fs::create_directories(ctrl);
    Bind(ctrl, "serial-base", "ctrl");
    const fs::path port = ctrl / (ctrl.filename().string() + ".0");
    AddTtyAt(port, tty, "", "4");
    Bind(port, "serial-base", "port");
  }
  void Bind(const fs::path& device, const std::string& bus, const std::string& driver) {
    const fs::path drivers = root / "bus" / bus / "drivers" / driver;
    fs::create_directories(drivers);
    fs::create_directory_symlink(drivers, device / "driver");
  }
  void AddTtyAt(const fs::path& device, const std::string& tty, const std::string& driver,
                const char* uartType) {
    fs::create_directories(device);
    if (!driver.empty()) Bind(device, "platform", driver);
    const fs::path entry = root / "class" / "tty" / tty;
    fs::create_directories(entry);
    fs::create_directory_symlink(device, entry / "device");
    if (uartType != nullptr) std::ofstream(entry / "type") << uartType << "\n";
  }
  // A tty without a device, such as a virtual console.
  void AddVirtualTty(const std::string& tty) { fs::create_directories(root / "class" / "tty" / tty); }

  // Every port as the port rules list it.
  std::vector<PortInfo> List() {
    // The machine's own /proc/consoles would make its console's name one here too.
    PosixPortList lister(root.string(), "/dev", (root / "consoles").string());
    std::vector<PortInfo> ports;
    EXPECT_TRUE(ListPorts(lister, ports));
    return ports;
  }

  fs::path root;
  int usbCount = 0;
};
using SysfsPortList = SysfsPortListFixture;

// The kinds of ttys a Linux PC or a Raspberry Pi shows, with and without hardware behind them.
void AddMachineTtys(SysfsPortListFixture& t) {
  t.AddTty("ttyS0", "serial8250", "4");
  t.AddTty("ttyS1", "serial8250", "0");  // an empty legacy slot
  t.AddTty("ttyS12", "serial8250");      // no type file: taken
  t.AddSerialCoreTty("ttyS4", "serial");
  t.AddUsbTty("ttyUSB0", "cp210x", "10c4", "ea60", "Silicon Labs", "CP2102 USB to UART Bridge Controller",
              "0001");
  t.AddUsbTty("ttyUSB3", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
  t.AddUsbTty("ttyACM1", "cdc_acm", "2341", "0043", "Arduino (www.arduino.cc)", nullptr, nullptr, true);
  t.AddUsbTty("ttyXRUSB0", "xr_usb_serial_common", "04e2", "1410", nullptr, "XR21V1410", nullptr, true);
  t.AddTty("ttyAMA0", "uart-pl011");
  t.AddTty("rfcomm0", "");  // a Bluetooth link: a device, no driver bound
  t.AddVirtualTty("tty0");
  t.AddVirtualTty("tty7");
  t.AddVirtualTty("ttyS5");  // a slot without a device
  t.AddVirtualTty("console");
  t.AddVirtualTty("ptmx");
}

TEST_F(SysfsPortList, TtysWithADeviceAreListedWithTheirDriverAndIds) {
  AddMachineTtys(*this);
  struct Row {
    const char* port;
    const char* driver;
    const char* usb;  // vid:pid, manufacturer, product, serial number
    bool preferred;
  };
  // In natural order; the CP210x bridge preferred by its driver; the chip's driver of a serial-core UART.
  const Row expected[] = {
      {"/dev/rfcomm0", "", "", false},
      {"/dev/ttyACM1", "cdc_acm", "2341:0043|Arduino (www.arduino.cc)||", false},
      {"/dev/ttyAMA0", "uart-pl011", "", false},
      {"/dev/ttyS0", "serial8250", "", false},
      {"/dev/ttyS4", "serial", "", false},
      {"/dev/ttyS12", "serial8250", "", false},
      {"/dev/ttyUSB0", "cp210x", "10c4:ea60|Silicon Labs|CP2102 USB to UART Bridge Controller|0001", true},
      {"/dev/ttyUSB3", "ftdi_sio", "0403:6001|FTDI|FT232R USB UART|A50285BI", false},
      {"/dev/ttyXRUSB0", "xr_usb_serial_common", "04e2:1410||XR21V1410|", false},
  };
  const std::vector<PortInfo> ports = List();
  ASSERT_EQ(ports.size(), std::size(expected));
  for (size_t i = 0; i < ports.size(); ++i) {
    const PortInfo& p = ports[i];
    const std::string usb =
        p.Vid.empty() ? ""
                      : p.Vid + ":" + p.Pid + "|" + p.Manufacturer + "|" + p.Product + "|" + p.SerialNumber;
    EXPECT_EQ(p.Port, expected[i].port);
    EXPECT_EQ(p.Driver, expected[i].driver) << p.Port;
    EXPECT_EQ(usb, expected[i].usb) << p.Port;
    EXPECT_EQ(p.Preferred, expected[i].preferred) << p.Port;
  }
}

TEST_F(SysfsPortList, AutoTakesTheSiliconLabsBridge) {
  AddTty("ttyS0", "serial8250", "4");
  AddUsbTty("ttyUSB1", "cp210x", "10c4", "ea60", "Silicon Labs", "CP2102", "0001");
  AddUsbTty("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R", "A5");
  std::vector<PortInfo> ports = List();
  size_t chosen = 99;
  ASSERT_EQ(AutoPortEntry(ports, chosen), AutoPortResult::Chosen);
  EXPECT_EQ(ports[chosen].Port, "/dev/ttyUSB1") << "auto opens the device path itself";

  // Unplugged: two ports left and none preferred, so auto will not guess.
  fs::remove_all(root / "class" / "tty" / "ttyUSB1");
  ports = List();
  EXPECT_EQ(AutoPortEntry(ports, chosen), AutoPortResult::SeveralOthers);
  fs::remove_all(root / "class" / "tty" / "ttyS0");
  ports = List();
  ASSERT_EQ(AutoPortEntry(ports, chosen), AutoPortResult::Chosen);
  EXPECT_EQ(ports[chosen].Port, "/dev/ttyUSB0") << "the only port there is";

  // A machine without sysfs lists no port, and that is no failure.
  PosixPortList missing((root / "nothing").string());
  EXPECT_TRUE(missing.ListPorts(ports));
  EXPECT_TRUE(ports.empty());
}

}  // namespace
