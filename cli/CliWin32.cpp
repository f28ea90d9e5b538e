// bravelle-cli on Windows: ports from the registry, COM devices, Ctrl+C and Ctrl+Break, the settings file's
// language.
#include <fcntl.h>
#include <io.h>

#include <cctype>
#include <cstdio>

#include "app/text/SettingsFile.h"
#include "cli/CliPlatform.h"
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

// The system's words for an error, in UTF-8 like every other message of the
// program: the console is switched to UTF-8 while it writes.
std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    message.resize(static_cast<size_t>(size > 0 ? size : 0));
    if (size > 0)
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &message[0], size, nullptr, nullptr);
  }
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

  void Describe(const PortListEntry& entry, PortDescription& port) override {
    // The value name is the device the driver made ("\Device\Silabser0"): all Windows tells here.
    port.Driver = entry.ValueName;
  }

  std::string DevicePath(const std::string& port) override {
    // "\\.\" lets CreateFileA open COM10 and above.
    return IsComName(port) ? "\\\\.\\" + port : port;
  }

  bool PortPresent(const std::string& port) override {
    std::string name = port;
    if (name.compare(0, 4, "\\\\.\\") == 0) name = name.substr(4);
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

  std::vector<std::string> PortProblem(int32_t status, const std::string&, uint32_t language) override {
    const bool fr = language == 0;
    std::vector<std::string> lines{SystemMessage(static_cast<DWORD>(status)) + " (" + std::to_string(status) +
                                   ")"};
    switch (status) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_DEVICE_NOT_CONNECTED:
      case ERROR_GEN_FAILURE:
        lines.push_back(fr ? "Le port n'existe pas ou a disparu (c\xc3\xa2"
                             "ble d\xc3\xa9"
                             "branch\xc3\xa9 ?) ; voyez les ports avec : bravelle-cli ports"
                           : "The port does not exist or has vanished (cable unplugged?); see the ports "
                             "with: bravelle-cli ports");
        break;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        lines.push_back(
            fr ? "Un autre programme tient le port ; fermez-le (Bravelle, un terminal s\xc3\xa9rie...)."
               : "Another program holds the port; close it (Bravelle, a serial terminal...).");
        break;
      default:
        break;
    }
    return lines;
  }

  bool IsTerminal(std::FILE* stream) override { return _isatty(_fileno(stream)) != 0; }

  bool SyncToDisk(std::FILE* stream) override {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
  }

 private:
  Win32Clock clock_;
  Win32PortRegistry registry_;
  Win32TextLocale locale_;
};

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  RequestStop();
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
