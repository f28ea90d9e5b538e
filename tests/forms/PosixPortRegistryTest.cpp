// PosixPortRegistry over a sysfs tree built in a temporary folder, alone and under TConfPort.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "forms/TConfigurationPort.h"
#include "posix/PosixPortRegistry.h"
#include "tests/support/FakeToolkit.h"

namespace fs = std::filesystem;

namespace {

const char kKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

using Pairs = std::vector<std::pair<std::string, std::string>>;

class SysfsPortList : public ::testing::Test {
 protected:
  SysfsPortList() {
    std::string pattern = (fs::temp_directory_path() / "bravelle-sysfs-XXXXXX").string();
    root = mkdtemp(&pattern[0]);
    fs::create_directories(root / "class" / "tty");
    fs::create_directories(root / "dev");
  }
  ~SysfsPortList() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  // A tty with a driver link, as the kernel lays it out: class/tty/<tty>/device/driver.
  void AddTty(const std::string& tty, const std::string& driver, const char* uartType = nullptr) {
    const fs::path drivers = root / "bus" / "drivers" / driver;
    fs::create_directories(drivers);
    const fs::path device = root / "devices" / tty;
    fs::create_directories(device);
    fs::create_directory_symlink(drivers, device / "driver");
    const fs::path entry = root / "class" / "tty" / tty;
    fs::create_directories(entry);
    fs::create_directory_symlink(device, entry / "device");
    if (uartType != nullptr) std::ofstream(entry / "type") << uartType << "\n";
    std::ofstream(root / "dev" / tty).put('\0');
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
};

TEST_F(SysfsPortList, TtysWithADriverBecomeNumberedValuesNamedAfterTheDriver) {
  AddTty("ttyS0", "serial8250", "4");
  AddTty("ttyS1", "serial8250", "0");  // an empty legacy slot
  AddTty("ttyS12", "serial8250");      // no type file: taken
  AddTty("ttyUSB0", "cp210x");
  AddTty("ttyUSB3", "ftdi_sio");
  AddTty("ttyACM1", "cdc_acm");
  AddTty("ttyAMA0", "uart-pl011");
  AddTty("ttyXR0", "xr_serial");  // no COM block for this family
  AddVirtualTty("tty0");
  AddVirtualTty("tty7");
  AddVirtualTty("ttyS5");  // a slot without a device
  AddVirtualTty("console");

  PosixPortRegistry registry(root.string());
  EXPECT_TRUE(registry.KeyExists(kKey));
  EXPECT_EQ(ReadAll(registry), (Pairs{{"\\Device\\Serial0", "COM1"},
                                      {"\\Device\\Serial12", "COM13"},
                                      {"\\Device\\Silabser0", "COM101"},
                                      {"\\Device\\VCP3", "COM104"},
                                      {"\\Device\\USBSER1", "COM202"},
                                      {"\\Device\\Serial1", "COM301"}}))
      << "sorted by COM number";
}

TEST_F(SysfsPortList, TheDialogPrefersTheSiliconLabsBridge) {
  AddTty("ttyS0", "serial8250", "4");
  AddTty("ttyUSB1", "cp210x");
  AddTty("ttyUSB0", "ftdi_sio");
  fake::FakeToolkit toolkit;
  PosixPortRegistry registry(root.string());
  PosixTextLocale locale;
  TConfPort dialog(toolkit, nullptr, registry, locale);
  EXPECT_TRUE(dialog.PortChanged());
  EXPECT_EQ(dialog.PortList(), (std::vector<std::string>{"COM1", "COM101", "COM102 : KORVANE"}));
  EXPECT_EQ(dialog.PortNumber(), 102);
  EXPECT_TRUE(dialog.IsPreferredPort());
  // The link opens what the list promised.
  EXPECT_EQ(PosixPortRegistry::PortPathMapper()("\\\\.\\COM" + std::to_string(dialog.PortNumber())), "/dev/ttyUSB1");

  // Unplugged: the previous port is gone, the first entry is taken.
  fs::remove_all(root / "class" / "tty" / "ttyUSB1");
  EXPECT_TRUE(dialog.PortChanged());
  EXPECT_EQ(dialog.PortNumber(), 1);
  EXPECT_FALSE(dialog.IsPreferredPort());
}

TEST_F(SysfsPortList, ComNumbersAndDevicePathsMapBothWays) {
  const std::pair<const char*, int32_t> table[] = {
      {"ttyS0", 1},     {"ttyS99", 100},  {"ttyUSB0", 101}, {"ttyUSB99", 200},
      {"ttyACM0", 201}, {"ttyAMA7", 308}, {"ttyS100", 0},   {"ttyS", 0},
      {"ttyS01", 0},    {"ttyUSBx", 0},   {"tty0", 0},      {"ttyXR0", 0},
  };
  for (const auto& [tty, com] : table) {
    EXPECT_EQ(PosixPortRegistry::ComNumberOfTty(tty), com) << tty;
    if (com != 0) {
      EXPECT_EQ(PosixPortRegistry::TtyOfComNumber(com), tty);
    }
  }
  EXPECT_EQ(PosixPortRegistry::TtyOfComNumber(0), "");
  EXPECT_EQ(PosixPortRegistry::TtyOfComNumber(401), "");

  const auto map = PosixPortRegistry::PortPathMapper("/devroot");
  EXPECT_EQ(map("\\\\.\\COM1"), "/devroot/ttyS0");
  EXPECT_EQ(map("\\\\.\\COM100"), "/devroot/ttyS99");
  EXPECT_EQ(map("\\\\.\\COM101"), "/devroot/ttyUSB0");
  EXPECT_EQ(map("\\\\.\\COM0"), "");
  EXPECT_EQ(map("\\\\.\\COM401"), "");
  EXPECT_EQ(map("\\\\.\\COMX"), "");
  EXPECT_EQ(map("/dev/pts/4"), "/dev/pts/4") << "a device path is left as it is";
}

TEST_F(SysfsPortList, APortDirectoryGivesItsComLinksTheirNumbers) {
  AddTty("ttyUSB0", "cp210x");
  AddTty("ttyS0", "serial8250", "4");
  const fs::path ports = root / "ports";
  fs::create_directories(ports);
  fs::create_symlink(root / "dev" / "ttyUSB0", ports / "COM5");
  fs::create_symlink(root / "dev" / "ttyS0", ports / "COM12");
  fs::create_symlink(root / "dev" / "ttyS0", ports / "COM13");  // the same device twice
  fs::create_symlink(root / "dev" / "absent", ports / "COM7");  // dangling
  std::ofstream(root / "dev" / "7").put('\0');
  fs::create_symlink(root / "dev" / "7", ports / "COM9");  // like a pty: unknown to sysfs
  fs::create_symlink(root / "dev" / "ttyS0", ports / "COM0");
  fs::create_symlink(root / "dev" / "ttyS0", ports / "notaport");

  PosixPortRegistry registry(root.string(), ports.string());
  EXPECT_TRUE(registry.KeyExists(kKey));
  EXPECT_EQ(ReadAll(registry), (Pairs{{"\\Device\\Silabser0", "COM5"},
                                      {"\\Device\\Serial7", "COM9"},
                                      {"\\Device\\Serial0", "COM12"},
                                      {"\\Device\\Serial1", "COM13"}}));
  // PosixSerialDevice::PortDirectory opens <folder>/COMn: the data names the link itself.
  EXPECT_TRUE(fs::exists(ports / "COM5"));
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
