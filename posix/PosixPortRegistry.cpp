// The serial port list on POSIX, read from sysfs (and an optional folder of COMn links).
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

// n from "COMn" with n >= 1 and nothing else; 0 otherwise.
unsigned long ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 13 || name.compare(0, 3, "COM") != 0) return 0;
  for (size_t i = 3; i < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
  return std::strtoul(name.c_str() + 3, nullptr, 10);
}

// Each family of ttys owns a block of a hundred COM numbers; ttyS<k> is COM<k+1>
// as the serial device maps it by default.
struct TtyFamily {
  const char* Prefix;
  int32_t FirstCom;
};
constexpr TtyFamily kFamilies[] = {{"ttyS", 1}, {"ttyUSB", 101}, {"ttyACM", 201}, {"ttyAMA", 301}};
constexpr int32_t kFamilySize = 100;

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

PosixPortRegistry::PosixPortRegistry(std::string sysfsRoot, std::string portDirectory)
    : sysfsRoot_(std::move(sysfsRoot)), portDirectory_(std::move(portDirectory)) {}

int32_t PosixPortRegistry::ComNumberOfTty(const std::string& tty) {
  for (const TtyFamily& f : kFamilies) {
    const size_t len = std::char_traits<char>::length(f.Prefix);
    if (tty.size() <= len || tty.size() > len + 2 || tty.compare(0, len, f.Prefix) != 0) continue;
    if (!std::all_of(tty.begin() + len, tty.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    // "ttyS07" is no kernel name; refusing it keeps the mapping one to one.
    if (tty.size() == len + 2 && tty[len] == '0') continue;
    return f.FirstCom + std::atoi(tty.c_str() + len);
  }
  return 0;
}

std::string PosixPortRegistry::TtyOfComNumber(int32_t com) {
  for (const TtyFamily& f : kFamilies)
    if (com >= f.FirstCom && com < f.FirstCom + kFamilySize) return f.Prefix + std::to_string(com - f.FirstCom);
  return std::string();
}

std::string PosixPortRegistry::DeviceKind(const std::string& driver) {
  if (driver == "cp210x") return "Silabser";
  if (driver == "ftdi_sio") return "VCP";
  if (driver == "cdc_acm") return "USBSER";
  return "Serial";
}

bool PosixPortRegistry::IsSerialCommKey(const std::string& subkey) const {
  return SameKeyName(subkey, kSerialCommKey);
}

std::string PosixPortRegistry::DriverOf(const std::string& tty) const {
  std::error_code ec;
  const fs::path link = fs::path(sysfsRoot_) / "class" / "tty" / tty / "device" / "driver";
  const fs::path target = fs::canonical(link, ec);
  if (ec) return std::string();
  return target.filename().string();
}

std::vector<PosixPortRegistry::Value> PosixPortRegistry::ReadPorts() const {
  struct Port {
    unsigned long Com;
    std::string Tty;
  };
  std::vector<Port> ports;
  std::error_code ec;
  if (!portDirectory_.empty()) {
    for (fs::directory_iterator it(portDirectory_, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string entry = it->path().filename().string();
      const unsigned long com = ComNumber(entry);
      if (com == 0) continue;
      std::error_code linkError;
      const fs::path device = fs::canonical(it->path(), linkError);
      // A dangling link names a device that is not there now.
      if (linkError) continue;
      ports.push_back({com, device.filename().string()});
    }
  } else {
    const fs::path ttys = fs::path(sysfsRoot_) / "class" / "tty";
    for (fs::directory_iterator it(ttys, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string tty = it->path().filename().string();
      const int32_t com = ComNumberOfTty(tty);
      if (com == 0 || DriverOf(tty).empty()) continue;
      std::ifstream typeFile(it->path() / "type");
      int uartType = -1;
      if (typeFile >> uartType && uartType == 0) continue;
      ports.push_back({static_cast<unsigned long>(com), tty});
    }
  }
  std::sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) { return a.Com < b.Com; });

  std::vector<Value> values;
  std::set<std::string> taken;
  for (const Port& p : ports) {
    const std::string kind = DeviceKind(DriverOf(p.Tty));
    // Two links to one device would give one name twice; a key holds each name once.
    unsigned long k = TrailingNumber(p.Tty);
    std::string name = "\\Device\\" + kind + std::to_string(k);
    while (taken.count(name) != 0) name = "\\Device\\" + kind + std::to_string(++k);
    taken.insert(name);
    values.push_back({name, "COM" + std::to_string(p.Com)});
  }
  return values;
}

bool PosixPortRegistry::KeyExists(const std::string& subkey) {
  if (!IsSerialCommKey(subkey)) return false;
  return DirectoryExists(portDirectory_.empty() ? sysfsRoot_ + "/class/tty" : portDirectory_);
}

bool PosixPortRegistry::OpenKey(const std::string& subkey) {
  CloseKey();
  if (!KeyExists(subkey)) return false;
  values_ = ReadPorts();
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

std::function<std::string(const std::string&)> PosixPortRegistry::PortPathMapper(const std::string& devRoot) {
  return [devRoot](const std::string& portPath) {
    static const char kPrefix[] = "\\\\.\\";
    if (portPath.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return portPath;
    const unsigned long com = ComNumber(portPath.substr(sizeof kPrefix - 1));
    const std::string tty = com > 0 && com <= INT32_MAX ? TtyOfComNumber(static_cast<int32_t>(com)) : std::string();
    // A number outside the table names no device; the empty path makes the open fail.
    return tty.empty() ? std::string() : devRoot + "/" + tty;
  };
}
