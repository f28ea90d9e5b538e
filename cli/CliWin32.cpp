// bravelle-cli on Windows: ports from the registry, with their USB identity from the device tree; COM
// devices; Ctrl+C and Ctrl+Break; the settings file's language.
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>

#include "cli/CliPlatform.h"
#include "text/CommandLineTexts.h"
#include "text/SettingsFile.h"
#include "win32/WideText.h"
#include "win32/Win32Clock.h"
#include "win32/Win32PortRegistry.h"
#include "win32/Win32SerialDevice.h"
#include "win32/Win32SettingsStorage.h"
#include "win32/WindowsApi.h"

namespace {

// The language the program keeps in its settings file (the Windows directory's,
// or the user's own on a standard account), French when none can be read.
uint32_t StoredLanguage() {
  Win32SettingsStorage storage;
  return FindStoredSettings(storage).Language == 1 ? 1 : 0;
}

bool IsComName(const std::string& port) {
  if (port.size() < 4 || (port[0] != 'C' && port[0] != 'c') || (port[1] != 'O' && port[1] != 'o') ||
      (port[2] != 'M' && port[2] != 'm'))
    return false;
  for (size_t i = 3; i < port.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(port[i]))) return false;
  return true;
}

std::string ComName(const std::string& port) {
  return port.compare(0, 4, "\\\\.\\") == 0 && IsComName(port.substr(4)) ? port.substr(4) : port;
}

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

std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? widetext::ToUtf8(text) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

class Win32CliPlatform : public CliPlatform {
 public:
  std::unique_ptr<SerialDevice> NewSerialDevice() override { return std::make_unique<Win32SerialDevice>(); }
  Clock& Ticks() override { return clock_; }
  PortRegistry& Registry() override { return registry_; }
  const TextLocale& Locale() override { return locale_; }

  void Describe(std::vector<PortDescription>& ports) override {
    const std::vector<std::pair<std::string, UsbIdentity>> usb = UsbPorts();
    for (PortDescription& d : ports) {
      for (const auto& [port, id] : usb) {
        if (_stricmp(port.c_str(), d.Port.c_str()) != 0) continue;
        d.Vid = id.Vid;
        d.Pid = id.Pid;
        d.SerialNumber = id.Serial;
        d.Interface = id.Interface;
        d.OneOfSeveral = !id.Interface.empty();
      }
    }
  }

  std::string RefusedPortName(const std::string&, uint32_t) override { return std::string(); }
  bool KnowsLocations() override { return false; }

  std::string DevicePath(const std::string& port) override {
    // "\\.\" lets CreateFileA open COM10 and above.
    return IsComName(port) ? "\\\\.\\" + port : port;
  }

  bool SamePort(const std::string& a, const std::string& b) override {
    return _stricmp(ComName(a).c_str(), ComName(b).c_str()) == 0;
  }

  bool PortPresent(const std::string& port) override {
    const std::string name = ComName(port);
    if (!IsComName(name)) return GetFileAttributesA(port.c_str()) != INVALID_FILE_ATTRIBUTES;
    char target[1024];
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
    // Some port drivers (and Wine, for ports it did not find at start-up) give
    // no DOS device name to look up; the port list names every port that is
    // plugged in, and loses a USB bridge's port when it is pulled out.
    std::vector<PortListEntry> entries;
    ReadPortList(registry_, locale_, entries);
    for (const PortListEntry& entry : entries)
      if (_stricmp(entry.Port.c_str(), name.c_str()) == 0) return true;
    return false;
  }

  uint32_t DefaultLanguage() override { return StoredLanguage(); }

  PortProblem ClassifyPortError(int32_t status) override {
    switch (status) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_DEVICE_NOT_CONNECTED:
      case ERROR_GEN_FAILURE:
        return PortProblem::Missing;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        return PortProblem::Busy;
      case ERROR_INVALID_FUNCTION:
        return PortProblem::NotSerial;
      default:
        return PortProblem::Other;
    }
  }

  std::vector<std::string> PortProblemLines(int32_t status, const std::string&, uint32_t language) override {
    std::vector<std::string> lines{SystemMessage(status) + " (" + std::to_string(status) + ")"};
    switch (ClassifyPortError(status)) {
      case PortProblem::Missing:
        lines.push_back(Say(TXT_CLI_ADVICE_MISSING, language));
        lines.push_back(Say(TXT_CLI_ADVICE_MISSING_FIX, language));
        break;
      case PortProblem::Busy:
        lines.push_back(Say(TXT_CLI_ADVICE_BUSY_WINDOWS, language));
        break;
      case PortProblem::NotSerial:
        lines.push_back(Say(TXT_CLI_ADVICE_NOT_SERIAL, language));
        break;
      default:
        break;
    }
    return lines;
  }

  std::string SystemMessage(int32_t code) override { return SystemText(static_cast<DWORD>(code)); }
  bool IsTerminal(std::FILE* stream) override { return _isatty(_fileno(stream)) != 0; }
  bool IsRegularFile(std::FILE* stream) override {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return file != INVALID_HANDLE_VALUE && GetFileType(file) == FILE_TYPE_DISK;
  }
  bool SyncToDisk(std::FILE* stream) override {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
  }
  void Pause(uint32_t milliseconds) override {
    for (uint32_t slept = 0; slept < milliseconds && !StopRequested(); slept += 20) ::Sleep(20);
  }

 private:
  Win32Clock clock_;
  Win32PortRegistry registry_;
  Win32TextLocale locale_;
};

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  RequestStop(SIGINT);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // The messages are UTF-8; a console shows them as such only in that code page.
  const UINT consolePage = GetConsoleOutputCP();
  const bool console = _isatty(_fileno(stdout)) != 0 || _isatty(_fileno(stderr)) != 0;
  if (console) SetConsoleOutputCP(CP_UTF8);
  Win32CliPlatform platform;
  const int code = RunCli(std::vector<std::string>(argv + 1, argv + argc), platform);
  if (console) SetConsoleOutputCP(consolePage);
  return code;
}
