// bravelle-cli on Windows: the ports of the registry; COM devices; Ctrl+C and Ctrl+Break; the settings
// file's language.
#include <io.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>

#include "cli/CliPlatform.h"
#include "text/CommandLineTexts.h"
#include "text/SettingsFile.h"
#include "win32/WideText.h"
#include "win32/Win32Clock.h"
#include "win32/Win32PortList.h"
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
  PortLister& Ports() override { return ports_; }

  std::string RefusedPortName(const std::string&, uint32_t) override { return std::string(); }
  bool KnowsLocations() override { return false; }

  std::string DevicePath(const std::string& port) override {
    // "\\.\" lets CreateFileA open COM10 and above.
    return IsComName(port) ? "\\\\.\\" + ComName(port) : port;
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
    return ports_.Names(name);
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

  std::string ErrorCode(int32_t status) override { return std::to_string(status); }
  std::string PortGroup(const std::string&) override { return std::string(); }
  // A COM port opens for one program at a time, and nothing says which holds it.
  bool HoldersUnknown() override { return true; }

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
  Win32PortList ports_;
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
