// PosixPortRegistry over a sysfs tree built in a temporary folder, alone, under TConfPort and under the auto
// choice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "forms/TConfigurationPort.h"
#include "ports/PortSelection.h"
#include "posix/PosixPortRegistry.h"
#include "tests/support/FakeToolkit.h"

namespace fs = std::filesystem;

namespace {

const char kKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

using Pairs = std::vector<std::pair<std::string, std::string>>;

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

  // Every value of the key, (name, data), in enumeration order.
  static Pairs ReadAll(PosixPortRegistry& registry) {
    Pairs out;
    if (!registry.OpenKey(kKey)) return out;
    uint32_t count = 0;
    uint32_t longest = 0;
    EXPECT_TRUE(registry.QueryInfo(count, longest));
    for (uint32_t i = 0; i < count; ++i) {
      std::string name;
      std::string text;
      uint32_t type = 0;
      EXPECT_TRUE(registry.EnumValueName(i, longest + 1, name));
      EXPECT_LE(name.size(), longest);
      EXPECT_TRUE(registry.QueryValueType(name, type));
      EXPECT_EQ(type, kRegSz);
      EXPECT_TRUE(registry.QueryValueText(name, text));
      out.emplace_back(name, text);
    }
    registry.CloseKey();
    return out;
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

TEST_F(SysfsPortList, TtysWithADeviceBecomeValuesHoldingTheirDevicePath) {
  AddMachineTtys(*this);
  PosixPortRegistry registry(root.string());
  EXPECT_TRUE(registry.KeyExists(kKey));
  EXPECT_EQ(ReadAll(registry), (Pairs{{"\\Device\\Serial0", "/dev/rfcomm0"},
                                      {"\\Device\\USBSER1", "/dev/ttyACM1"},
                                      {"\\Device\\Serial1", "/dev/ttyAMA0"},
                                      {"\\Device\\Serial2", "/dev/ttyS0"},
                                      {"\\Device\\Serial4", "/dev/ttyS4"},
                                      {"\\Device\\Serial12", "/dev/ttyS12"},
                                      {"\\Device\\Silabser0", "/dev/ttyUSB0"},
                                      {"\\Device\\VCP3", "/dev/ttyUSB3"},
                                      {"\\Device\\Serial3", "/dev/ttyXRUSB0"}}))
      << "ordered by tty name; each value name once";
}

TEST_F(SysfsPortList, UsbPortsCarryTheirDriverIdsAndStrings) {
  AddMachineTtys(*this);
  PosixPortRegistry registry(root.string());
  const std::vector<SysfsPort> ports = registry.Ports();
  ASSERT_EQ(ports.size(), 9u);
  auto find = [&](const std::string& tty) {
    for (const SysfsPort& p : ports)
      if (p.Tty == tty) return p;
    ADD_FAILURE() << tty << " not listed";
    return SysfsPort{};
  };
  const SysfsPort cp = find("ttyUSB0");
  EXPECT_EQ(cp.Path, "/dev/ttyUSB0");
  EXPECT_EQ(cp.Driver, "cp210x");
  EXPECT_EQ(cp.Vid + ":" + cp.Pid, "10c4:ea60");
  EXPECT_EQ(cp.Manufacturer, "Silicon Labs");
  EXPECT_EQ(cp.Product, "CP2102 USB to UART Bridge Controller");
  EXPECT_EQ(cp.SerialNumber, "0001");
  const SysfsPort acm = find("ttyACM1");
  EXPECT_EQ(acm.Driver, "cdc_acm");
  EXPECT_EQ(acm.Vid + ":" + acm.Pid, "2341:0043") << "the USB device is the interface's parent";
  EXPECT_EQ(acm.Manufacturer, "Arduino (www.arduino.cc)");
  EXPECT_EQ(acm.Product, "");
  EXPECT_EQ(find("ttyXRUSB0").Product, "XR21V1410");
  const SysfsPort uart = find("ttyS0");
  EXPECT_EQ(uart.Driver, "serial8250");
  EXPECT_EQ(uart.Vid, "") << "no USB device above a platform UART";
  EXPECT_EQ(find("rfcomm0").Driver, "");
  EXPECT_EQ(find("ttyS4").Driver, "serial") << "the chip's driver, not the serial core's \"port\"";
}

TEST_F(SysfsPortList, TheDialogPrefersTheSiliconLabsBridge) {
  AddTty("ttyS0", "serial8250", "4");
  AddUsbTty("ttyUSB1", "cp210x", "10c4", "ea60", "Silicon Labs", "CP2102", "0001");
  AddUsbTty("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R", "A5");
  fake::FakeToolkit toolkit;
  PosixPortRegistry registry(root.string());
  PosixTextLocale locale;
  TConfPort dialog(toolkit, nullptr, registry, locale);
  EXPECT_TRUE(dialog.ScanPorts());
  EXPECT_EQ(dialog.PortList(),
            (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1 : KORVANE"}));
  EXPECT_EQ(dialog.SelectedIndex(), 2);
  // A device path holds no COM number; only the Windows program hands port numbers to the link.
  EXPECT_EQ(dialog.PortNumber(), 0);

  std::vector<PortListEntry> entries;
  ASSERT_EQ(ReadPortList(registry, locale, entries), PortListResult::Listed);
  size_t chosen = 99;
  ASSERT_EQ(AutoPortEntry(entries, chosen), AutoPortResult::Chosen);
  ASSERT_EQ(chosen, 2u);
  EXPECT_EQ(entries[2].Port, "/dev/ttyUSB1") << "auto opens the device path itself";

  // Unplugged: two ports left and none preferred, so auto will not guess.
  fs::remove_all(root / "class" / "tty" / "ttyUSB1");
  ASSERT_EQ(ReadPortList(registry, locale, entries), PortListResult::Listed);
  EXPECT_EQ(AutoPortEntry(entries, chosen), AutoPortResult::SeveralOthers);
  fs::remove_all(root / "class" / "tty" / "ttyS0");
  ASSERT_EQ(ReadPortList(registry, locale, entries), PortListResult::Listed);
  EXPECT_EQ(AutoPortEntry(entries, chosen), AutoPortResult::Chosen);
  EXPECT_EQ(chosen, 0u) << "the only port there is";
}

TEST_F(SysfsPortList, TheKeyBehavesLikeARegistryKey) {
  AddTty("ttyS0", "serial8250", "4");
  PosixPortRegistry registry(root.string());
  EXPECT_TRUE(registry.KeyExists("hardware\\devicemap\\serialcomm")) << "key names ignore case";
  EXPECT_FALSE(registry.KeyExists("HARDWARE\\DEVICEMAP"));
  EXPECT_FALSE(registry.KeyExists("\\HARDWARE\\DEVICEMAP\\SERIALCOMM"));

  uint32_t count = 0;
  uint32_t longest = 0;
  std::string name;
  std::string text;
  uint32_t type = 0;
  EXPECT_FALSE(registry.QueryInfo(count, longest)) << "nothing is open yet";
  ASSERT_TRUE(registry.OpenKey(kKey));
  ASSERT_TRUE(registry.QueryInfo(count, longest));
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(longest, 15u);
  EXPECT_FALSE(registry.EnumValueName(0, 15, name)) << "no room for the NUL";
  EXPECT_TRUE(registry.EnumValueName(0, 16, name));
  EXPECT_FALSE(registry.EnumValueName(1, 16, name));
  EXPECT_FALSE(registry.QueryValueType("\\Device\\Serial9", type));
  EXPECT_FALSE(registry.QueryValueText("\\Device\\Serial9", text));

  // A port that appears is seen at the next open, not before.
  AddTty("ttyS1", "serial8250", "4");
  ASSERT_TRUE(registry.QueryInfo(count, longest));
  EXPECT_EQ(count, 1u);
  registry.CloseKey();
  EXPECT_FALSE(registry.QueryValueText("\\Device\\Serial0", text));
  ASSERT_TRUE(registry.OpenKey(kKey));
  ASSERT_TRUE(registry.QueryInfo(count, longest));
  EXPECT_EQ(count, 2u);

  PosixPortRegistry missing((root / "nothing").string());
  EXPECT_FALSE(missing.KeyExists(kKey));
  EXPECT_FALSE(missing.OpenKey(kKey));
  EXPECT_FALSE(missing.QueryInfo(count, longest));
}

TEST(PosixTextLocale, ComparesBytesAndUpperCasesAscii) {
  PosixTextLocale locale;
  EXPECT_LT(locale.Compare("COM10", "COM2"), 0);
  EXPECT_LT(locale.Compare("COM2", "COM3"), 0);
  EXPECT_EQ(locale.Compare("COM3", "COM3"), 0);
  EXPECT_GT(locale.Compare("COM3", "COM"), 0);
  EXPECT_EQ(locale.Compare("b", "a"), 1);
  EXPECT_EQ(locale.Compare("a", "b"), -1);
  // Bytes above 0x7F sort after ASCII, as unsigned values.
  EXPECT_GT(locale.Compare("\xE9", "z"), 0);
  EXPECT_EQ(locale.Upper("com7 : korvane \xE7\xE9"), "COM7 : KORVANE \xE7\xE9");
  EXPECT_EQ(locale.Upper(std::string("a\0b", 3)), std::string("A\0B", 3));
}

}  // namespace
