// The serial port list on POSIX, read from sysfs, with the udev names in /dev/serial.
#include "posix/PosixPortList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

// A USB device lies a few levels above its tty: interface, then device (ttyACM),
// or port, interface, device (ttyUSB); a hub chain never comes in between.
constexpr int kUsbSearchDepth = 4;
// The port and controller devices of the serial core, then the chip's device.
constexpr int kSerialCoreDepth = 3;

// The first line of a sysfs attribute, without its newline; empty when absent.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string Canonical(const fs::path& path) {
  std::error_code ec;
  const fs::path c = fs::canonical(path, ec);
  return ec ? std::string() : c.string();
}

// The ttys the kernel writes its messages to, each line "ttyS0  -W- (EC p a) 4:64".
std::set<std::string> Consoles(const std::string& file) {
  std::set<std::string> consoles;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) consoles.insert(line.substr(0, line.find_first_of(" \t")));
  return consoles;
}

// Each link in <dev>/serial/<folder> with the device it leads to, by name.
std::vector<std::pair<std::string, std::string>> Links(const std::string& devRoot, const char* folder) {
  std::vector<std::pair<std::string, std::string>> links;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(devRoot) / "serial" / folder, ec), end; !ec && it != end;
       it.increment(ec))
    links.emplace_back(it->path().string(), Canonical(it->path()));
  std::sort(links.begin(), links.end());
  return links;
}

// Since Linux 6.5 a UART's tty hangs below two devices of the serial core
// (bus "serial-base", drivers "port" and "ctrl"); the chip's own driver is above them.
std::string DriverOf(const fs::path& device) {
  std::string name;
  fs::path owner = device;
  for (int level = 0; level < kSerialCoreDepth && owner.has_relative_path();
       ++level, owner = owner.parent_path()) {
    std::error_code driverError;
    const fs::path driver = fs::canonical(owner / "driver", driverError);
    if (driverError) break;
    name = driver.filename().string();
    if (driver.parent_path().parent_path().filename() != "serial-base") break;
  }
  return name;
}

// The USB device above the tty, and the interface one step below it, where there is one.
void ReadUsb(const fs::path& device, PortInfo& port) {
  fs::path up = device;
  fs::path below;
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
    return;
  }
}

}  // namespace

PosixPortList::PosixPortList(std::string sysfsRoot, std::string devRoot, std::string consoles)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), consoles_(std::move(consoles)) {}

bool PosixPortList::ListPorts(std::vector<PortInfo>& ports) {
  ports.clear();
  const std::set<std::string> consoles = Consoles(consoles_);
  // The udev names that lead to each port: the adapter's identity, and its socket.
  const auto byId = Links(devRoot_, "by-id");
  const auto byPath = Links(devRoot_, "by-path");
  std::error_code ec;
  const fs::path ttys = fs::path(sysfsRoot_) / "class" / "tty";
  // A machine without sysfs has no ports to list, which is no failure.
  for (fs::directory_iterator it(ttys, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string tty = it->path().filename().string();
    std::error_code deviceError;
    // Consoles and ptys have no device behind them.
    const fs::path device = fs::canonical(it->path() / "device", deviceError);
    if (deviceError) continue;
    std::ifstream typeFile(it->path() / "type");
    int uartType = -1;
    if (typeFile >> uartType && uartType == 0) continue;

    PortInfo port;
    port.Port = devRoot_ + "/" + tty;
    port.Driver = DriverOf(device);
    port.Console = Attribute(it->path() / "console") == "Y" || consoles.count(tty) != 0;
    port.PortNumber = Attribute(device / "port_number");
    ReadUsb(device, port);
    const std::string target = Canonical(port.Port);
    if (!target.empty()) {
      for (const auto& [name, leadsTo] : byId)
        if (leadsTo == target) port.ById.push_back(name);
      for (const auto& [name, leadsTo] : byPath)
        if (leadsTo == target) port.ByPath.push_back(name);
    }
    ports.push_back(std::move(port));
  }
  return true;
}
