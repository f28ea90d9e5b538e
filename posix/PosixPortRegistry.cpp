// The serial port list on POSIX, read from sysfs.
#include "posix/PosixPortRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr const char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// A USB device lies a few levels above its tty: interface, then device (ttyACM),
// or port, interface, device (ttyUSB); a hub chain never comes in between.
constexpr int kUsbSearchDepth = 4;
// The port and controller devices of the serial core, then the chip's device.
constexpr int kSerialCoreDepth = 3;

bool SameKeyName(const std::string& a, const std::string& b) {
  // Registry key names ignore case.
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

// The trailing decimal number of a device name: ttyUSB12 gives 12, a name without one 0.
unsigned long TrailingNumber(const std::string& name) {
  size_t start = name.size();
  while (start > 0 && std::isdigit(static_cast<unsigned char>(name[start - 1]))) --start;
  // Long enough runs cannot be device numbers; they are simply not honoured.
  if (start == name.size() || name.size() - start > 9) return 0;
  return std::strtoul(name.c_str() + start, nullptr, 10);
}

// The first line of a sysfs attribute, without its newline; empty when absent.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Natural order of tty names, so that ttyS2 comes before ttyS10.
bool TtyBefore(const std::string& a, const std::string& b) {
  const unsigned long na = TrailingNumber(a);
  const unsigned long nb = TrailingNumber(b);
  const std::string pa = a.substr(0, a.find_last_not_of("0123456789") + 1);
  const std::string pb = b.substr(0, b.find_last_not_of("0123456789") + 1);
  if (pa != pb) return pa < pb;
  return na != nb ? na < nb : a < b;
}

}  // namespace

PosixPortRegistry::PosixPortRegistry(std::string sysfsRoot, std::string devRoot, std::string consoles)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), consoles_(std::move(consoles)) {}

std::string PosixPortRegistry::DeviceKind(const std::string& driver) {
  if (driver == "cp210x") return "Silabser";
  if (driver == "ftdi_sio") return "VCP";
  if (driver == "cdc_acm") return "USBSER";
  return "Serial";
}

bool PosixPortRegistry::IsSerialCommKey(const std::string& subkey) const {
  return SameKeyName(subkey, kSerialCommKey);
}

std::vector<SysfsPort> PosixPortRegistry::Ports() const {
  std::vector<SysfsPort> ports;
  // The ttys the kernel writes its messages to, each line "ttyS0  -W- (EC p a) 4:64".
  std::set<std::string> consoles;
  {
    std::ifstream in(consoles_);
    std::string line;
    while (std::getline(in, line)) consoles.insert(line.substr(0, line.find_first_of(" \t")));
  }
  std::error_code ec;
  const fs::path ttys = fs::path(sysfsRoot_) / "class" / "tty";
  for (fs::directory_iterator it(ttys, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string tty = it->path().filename().string();
    std::error_code deviceError;
    // Consoles and ptys have no device behind them.
    const fs::path device = fs::canonical(it->path() / "device", deviceError);
    if (deviceError) continue;
    std::ifstream typeFile(it->path() / "type");
    int uartType = -1;
    if (typeFile >> uartType && uartType == 0) continue;

    SysfsPort port;
    port.Tty = tty;
    port.Path = devRoot_ + "/" + tty;
    port.Console = Attribute(it->path() / "console") == "Y" || consoles.count(tty) != 0;
    port.PortNumber = Attribute(device / "port_number");
    // Since Linux 6.5 a UART's tty hangs below two devices of the serial core
    // (bus "serial-base", drivers "port" and "ctrl"); the chip's own driver is above them.
    fs::path owner = device;
    for (int level = 0; level < kSerialCoreDepth && owner.has_relative_path();
         ++level, owner = owner.parent_path()) {
      std::error_code driverError;
      const fs::path driver = fs::canonical(owner / "driver", driverError);
      if (driverError) break;
      port.Driver = driver.filename().string();
      if (driver.parent_path().parent_path().filename() != "serial-base") break;
    }
    fs::path up = device;
    fs::path below;  // the interface, one step below the USB device
    for (int level = 0; level < kUsbSearchDepth && up.has_relative_path();
         ++level, below = up, up = up.parent_path()) {
      std::error_code usbError;
      if (!fs::exists(up / "idVendor", usbError)) continue;
      port.Location = up.filename().string();
      const std::string interface = below.filename().string();
      if (interface.compare(0, port.Location.size() + 1, port.Location + ":") == 0) {
        port.InterfaceLocation = interface.substr(port.Location.size() + 1);
        port.Interface = Attribute(below / "bInterfaceNumber");
        port.InterfaceName = Attribute(below / "interface");
      }
      port.OneOfSeveral = std::atoi(Attribute(up / "bNumInterfaces").c_str()) > 1;
      port.Vid = Attribute(up / "idVendor");
      port.Pid = Attribute(up / "idProduct");
      port.Manufacturer = Attribute(up / "manufacturer");
      port.Product = Attribute(up / "product");
      port.SerialNumber = Attribute(up / "serial");
      break;
    }
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(),
            [](const SysfsPort& a, const SysfsPort& b) { return TtyBefore(a.Tty, b.Tty); });
  return ports;
}

bool PosixPortRegistry::KeyExists(const std::string& subkey) {
  return IsSerialCommKey(subkey) && DirectoryExists(sysfsRoot_ + "/class/tty");
}

bool PosixPortRegistry::OpenKey(const std::string& subkey) {
  CloseKey();
  if (!KeyExists(subkey)) return false;
  std::set<std::string> taken;
  listed_ = Ports();
  for (const SysfsPort& p : listed_) {
    const std::string kind = DeviceKind(p.Driver);
    // Two ttys of one kind and number (ttyS0 and ttyUSB0 without drivers) would
    // give one name twice; a key holds each name once.
    unsigned long k = TrailingNumber(p.Tty);
    std::string name = "\\Device\\" + kind + std::to_string(k);
    while (taken.count(name) != 0) name = "\\Device\\" + kind + std::to_string(++k);
    taken.insert(name);
    values_.push_back({name, p.Path});
  }
  open_ = true;
  return true;
}

bool PosixPortRegistry::QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) {
  if (!open_) return false;
  valueCount = static_cast<uint32_t>(values_.size());
  maxValueNameLength = 0;
  for (const Value& v : values_) maxValueNameLength = std::max<uint32_t>(maxValueNameLength, v.Name.size());
  return true;
}

bool PosixPortRegistry::EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) {
  if (!open_ || index >= values_.size()) return false;
  // Like RegEnumValueA: the buffer must hold the name and its NUL.
  if (values_[index].Name.size() >= nameCapacity) return false;
  name = values_[index].Name;
  return true;
}

const PosixPortRegistry::Value* PosixPortRegistry::Find(const std::string& name) const {
  if (!open_) return nullptr;
  for (const Value& v : values_)
    if (SameKeyName(v.Name, name)) return &v;
  return nullptr;
}

bool PosixPortRegistry::QueryValueType(const std::string& name, uint32_t& type) {
  if (Find(name) == nullptr) return false;
  type = kRegSz;
  return true;
}

bool PosixPortRegistry::QueryValueText(const std::string& name, std::string& text) {
  const Value* v = Find(name);
  if (v == nullptr) return false;
  text = v->Data;
  return true;
}

void PosixPortRegistry::CloseKey() {
  open_ = false;
  values_.clear();
}

int PosixTextLocale::Compare(const std::string& a, const std::string& b) const {
  const int c = a.compare(b);
  return (c > 0) - (c < 0);
}

std::string PosixTextLocale::Upper(const std::string& text) const {
  std::string s = text;
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}
