// The serial port list on Windows: the dialog's list of SERIALCOMM, and the USB identity of each port from
// the device tree, names and texts in UTF-8.
#include "win32/Win32PortList.h"

#include <cctype>
#include <utility>

#include "ports/PortSelection.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"

namespace {

// A registry key opened for reading only, closed with its scope; names and texts in UTF-8.
class Key {
 public:
  Key(HKEY parent, const std::string& path) {
    if (parent == nullptr ||
        RegOpenKeyExW(parent, widetext::FromUtf8(path).c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY Get() const { return key_; }
  std::vector<std::string> Subkeys() const {
    std::vector<std::string> names;
    wchar_t name[256];
    for (DWORD i = 0; key_ != nullptr; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key_, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.push_back(widetext::ToUtf8(name));
    }
    return names;
  }
  std::string Text(const char* value) const {
    wchar_t data[512];
    DWORD type = 0;
    DWORD size = sizeof data - sizeof(wchar_t);
    if (key_ == nullptr ||
        RegQueryValueExW(key_, widetext::FromUtf8(value).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return std::string();
    data[size / sizeof(wchar_t)] = L'\0';
    return widetext::ToUtf8(data);
  }

 private:
  HKEY key_ = nullptr;
};

struct UsbIdentity {
  std::string Vid, Pid, Serial, Interface;
};

std::string LowerHex(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "VID_10C4&PID_EA60" or "VID_0403&PID_6010&MI_01": the ids and interface of a USB device key.
bool ParseUsbKeyName(const std::string& name, UsbIdentity& id) {
  if (name.size() < 17 || name.compare(0, 4, "VID_") != 0 || name.compare(8, 5, "&PID_") != 0) return false;
  id.Vid = LowerHex(name.substr(4, 4));
  id.Pid = LowerHex(name.substr(13, 4));
  if (name.size() >= 22 && name.compare(17, 4, "&MI_") == 0) id.Interface = LowerHex(name.substr(21, 2));
  return true;
}

// Windows' own instance names hold "&"; an adapter's serial number does not.
bool IsSerialNumber(const std::string& instance) { return instance.find('&') == std::string::npos; }

// The USB identity of every COM port the device tree knows: under
// Enum\USB\VID_xxxx&PID_yyyy\<instance>\Device Parameters, PortName names the
// port, and the instance is the adapter's serial number. A port of an adapter
// with several interfaces sits under ...&MI_nn, and its serial number is that of
// the device whose ParentIdPrefix begins its instance. One walk of the tree.
std::vector<std::pair<std::string, UsbIdentity>> UsbPorts() {
  std::vector<std::pair<std::string, UsbIdentity>> ports;
  std::vector<std::string> parentOf;                         // an interface port's parent prefix
  std::vector<std::pair<std::string, std::string>> parents;  // ParentIdPrefix, serial number
  const Key usb(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB");
  for (const std::string& device : usb.Subkeys()) {
    UsbIdentity id;
    if (!ParseUsbKeyName(device, id)) continue;
    const Key d(usb.Get(), device);
    for (const std::string& instance : d.Subkeys()) {
      const Key i(d.Get(), instance);
      const std::string prefix = i.Text("ParentIdPrefix");
      if (!prefix.empty() && IsSerialNumber(instance)) parents.emplace_back(prefix, instance);
      const std::string port = Key(i.Get(), "Device Parameters").Text("PortName");
      if (port.empty()) continue;
      UsbIdentity found = id;
      if (id.Interface.empty() && IsSerialNumber(instance)) found.Serial = instance;
      // An interface's instance is its parent's prefix, "&" and its number.
      parentOf.push_back(id.Interface.empty() ? std::string() : instance.substr(0, instance.rfind('&')));
      ports.emplace_back(port, found);
    }
  }
  for (size_t k = 0; k < ports.size(); ++k)
    for (const auto& [prefix, serial] : parents)
      if (!parentOf[k].empty() && prefix == parentOf[k]) ports[k].second.Serial = serial;
  return ports;
}

}  // namespace

bool Win32PortList::ListPorts(std::vector<PortInfo>& ports) {
  ports.clear();
  std::vector<PortListEntry> entries;
  if (ReadPortList(registry_, locale_, entries) == PortListResult::Unreadable) return false;
  const std::vector<std::pair<std::string, UsbIdentity>> usb = UsbPorts();
  for (const PortListEntry& e : entries) {
    PortInfo p;
    p.Port = e.Port;
    // The device the driver made: "\Device\Silabser0" names the CP210x bridge's driver.
    p.Driver = e.ValueName;
    for (const auto& [port, id] : usb) {
      if (_stricmp(port.c_str(), p.Port.c_str()) != 0) continue;
      p.Vid = id.Vid;
      p.Pid = id.Pid;
      p.SerialNumber = id.Serial;
      p.Interface = id.Interface;
      p.OneOfSeveral = !id.Interface.empty();
    }
    ports.push_back(std::move(p));
  }
  return true;
}

bool Win32PortList::Names(const std::string& comName) {
  std::vector<PortListEntry> entries;
  ReadPortList(registry_, locale_, entries);
  for (const PortListEntry& entry : entries)
    if (_stricmp(entry.Port.c_str(), comName.c_str()) == 0) return true;
  return false;
}
