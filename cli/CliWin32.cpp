// bravelle-cli on Windows: the ports of the registry; COM devices; Ctrl+C, Ctrl+Break and the console's
// close, logoff and shutdown; record files through the wide calls; the settings file's language.
#include <io.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include "cli/CliPlatform.h"
#include "text/CommandLineTexts.h"
#include "text/SettingsFile.h"
#include "win32/WideText.h"
#include "win32/Win32Clock.h"
#include "win32/Win32PortList.h"
#include "win32/Win32SerialDevice.h"
#include "win32/Win32SettingsStorage.h"
#include "win32/WindowsApi.h"
// After windows.h, which it needs: the command line as UTF-16.
#include <shellapi.h>

#if defined(__GLIBCXX__)
// An exception nobody catches: libstdc++'s own handler says which, but it names the type through its
// demangler, some 45 KB of this program. This one says the same with the name as the compiler keeps it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  static bool terminating = false;
  if (terminating) {
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  terminating = true;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    const char* name = type->name();
    std::fprintf(stderr, "terminate called after throwing an instance of '%s'\n", name + (name[0] == '*'));
    try {
      throw;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "  what():  %s\n", e.what());
    } catch (...) {
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}
}  // namespace __gnu_cxx
#endif

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

// A record file by its handle: LockFileEx for the turns of writers, the file's index against the
// path's for a rotation, SetEndOfFile to take back a part that a full disk accepted.
class Win32RecordFile : public RecordFileHandle {
 public:
  Win32RecordFile(HANDLE file, std::string path, bool own) : file_(file), path_(std::move(path)), own_(own) {
    regular_ = own && GetFileType(file_) == FILE_TYPE_DISK;
  }
  ~Win32RecordFile() override {
    if (own_) CloseHandle(file_);
  }
  bool Regular() override { return regular_; }
  bool Lock() override {
    OVERLAPPED whole{};
    return LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0 || Failed();
  }
  void Unlock() override {
    OVERLAPPED whole{};
    UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &whole);
  }
  int64_t Size() override {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file_, &size) == 0) return Failed(), -1;
    return size.QuadPart;
  }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    size_t got = 0;
    while (got < count) {
      OVERLAPPED at{};
      const uint64_t where = static_cast<uint64_t>(offset) + got;
      at.Offset = static_cast<DWORD>(where);
      at.OffsetHigh = static_cast<DWORD>(where >> 32);
      DWORD n = 0;
      const DWORD ask = static_cast<DWORD>(std::min<size_t>(count - got, 1 << 20));
      if (ReadFile(file_, &bytes[got], ask, &n, &at) == 0) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return Failed();
      }
      if (n == 0) break;
      got += n;
    }
    bytes.resize(got);
    return true;
  }
  bool Append(const std::string& bytes) override {
    if (!own_) {
      std::FILE* stream = file_ == GetStdHandle(STD_OUTPUT_HANDLE) ? stdout : stderr;
      if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() || std::fflush(stream) != 0) {
        error_ = ERROR_WRITE_FAULT;
        return false;
      }
      return true;
    }
    // Under the lock: the end is ours until the last byte.
    LARGE_INTEGER none{};
    if (regular_ && SetFilePointerEx(file_, none, nullptr, FILE_END) == 0) return Failed();
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD n = 0;
      if (WriteFile(file_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr) == 0 ||
          n == 0)
        return Failed();
      done += n;
    }
    return true;
  }
  bool Truncate(int64_t size) override {
    LARGE_INTEGER at{};
    at.QuadPart = size;
    return (SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file_) != 0) || Failed();
  }
  bool Sync() override { return !regular_ || FlushFileBuffers(file_) != 0 || Failed(); }
  bool StillNamed() override {
    if (!regular_) return true;
    const HANDLE named = CreateFileW(widetext::FromUtf8(path_).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool same = GetFileInformationByHandle(file_, &a) != 0 &&
                      GetFileInformationByHandle(named, &b) != 0 &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
  }
  int Error() override { return static_cast<int>(error_); }

 private:
  bool Failed() {
    error_ = GetLastError();
    if (error_ == 0) error_ = ERROR_WRITE_FAULT;
    return false;
  }
  HANDLE file_;
  std::string path_;
  bool own_;
  bool regular_ = false;
  DWORD error_ = 0;
};

// A process's environment block with some variables set. Windows keeps the names sorted without
// case: the added ones go in at their places among the process's own, which come sorted.
std::vector<wchar_t> EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& added) {
  std::vector<std::string> vars;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* v = block; v != nullptr && *v != L'\0'; v += wcslen(v) + 1) {
    std::string text = widetext::ToUtf8(v);
    const std::string name = text.substr(0, text.find('=', 1));
    bool replaced = false;
    for (const auto& [n, value] : added) replaced = replaced || _stricmp(n.c_str(), name.c_str()) == 0;
    if (!replaced) vars.push_back(std::move(text));
  }
  if (block != nullptr) FreeEnvironmentStringsW(block);
  for (const auto& [name, value] : added) {
    size_t at = 0;
    while (at < vars.size() && _stricmp(vars[at].substr(0, vars[at].find('=', 1)).c_str(), name.c_str()) < 0)
      ++at;
    vars.insert(vars.begin() + static_cast<std::ptrdiff_t>(at), name + "=" + value);
  }
  std::vector<wchar_t> out;
  for (const std::string& v : vars) {
    const widetext::Utf16 text = widetext::FromUtf8(v);
    out.insert(out.end(), text.c_str(), text.c_str() + text.size() + 1);
  }
  out.push_back(L'\0');
  return out;
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

  // CreateFile opens a COM port for one program only: Windows itself refuses a held port.
  std::unique_ptr<PortHold> HoldPort(const std::string&, int32_t&) override {
    return std::make_unique<PortHold>();
  }
  std::string CanonicalPort(const std::string& port) override {
    std::string name = ComName(port);
    if (!IsComName(name)) return port;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  }

  std::string PortListStamp() override { return std::string(); }

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


  std::string ErrorCode(int32_t status) override { return std::to_string(status); }
  std::string PortGroup(const std::string&) override { return std::string(); }
  // A COM port opens for one program at a time, and nothing says which holds it.
  bool HoldersUnknown() override { return true; }

  std::string SystemMessage(int32_t code) override { return SystemText(static_cast<DWORD>(code)); }
  bool IsTerminal(std::FILE* stream) override { return _isatty(_fileno(stream)) != 0; }
  int TerminalColumns() override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
  }

  std::unique_ptr<RecordFileHandle> OpenRecordFile(const std::string& path, bool truncate,
                                                   int& error) override {
    // Other writers, readers and a rotation (a rename, a delete) may share it.
    const widetext::Utf16 name = widetext::FromUtf8(path);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD how = truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, how,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file this account may only write is still written, without a look back.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
      file = CreateFileW(name.c_str(), GENERIC_WRITE, share, nullptr, how, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error = static_cast<int>(GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32RecordFile>(file, path, true);
  }
  std::unique_ptr<RecordFileHandle> StandardStream(int which) override {
    return std::make_unique<Win32RecordFile>(GetStdHandle(which == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE),
                                             std::string(), false);
  }
  std::string FileErrorText(int error) override { return SystemText(static_cast<DWORD>(error)); }

  int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
              const std::string& input, uint32_t limitMs) override {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (CreatePipe(&readEnd, &writeEnd, &inherit, static_cast<DWORD>(input.size() + 4096)) == 0)
      return kHookNotRun;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    // Standard output carries records only: what the command says goes to standard error.
    startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // The user's command line, never a record's text: that travels in the environment and the pipe.
    // /s with the command in quotes: cmd takes everything between them as it is, quotes inside included.
    const widetext::Utf16 line0 = widetext::FromUtf8("cmd.exe /d /s /c \"" + command + "\"");
    std::vector<wchar_t> line(line0.c_str(), line0.c_str() + line0.size() + 1);
    std::vector<wchar_t> block = EnvironmentWith(env);
    // A job, so that the end of the time limit ends what the command started too.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, block.data(), nullptr,
                                        &startup, &process);
    CloseHandle(readEnd);
    if (started == 0) {
      CloseHandle(writeEnd);
      if (job != nullptr) CloseHandle(job);
      return kHookNotRun;
    }
    if (job != nullptr) AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    DWORD written = 0;
    WriteFile(writeEnd, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(writeEnd);
    int result = 0;
    if (WaitForSingleObject(process.hProcess, limitMs) != WAIT_OBJECT_0) {
      if (job != nullptr) TerminateJobObject(job, 1);
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      result = kHookTimedOut;
    } else {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      result = static_cast<int>(code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (job != nullptr) CloseHandle(job);
    return result;
  }
  // A read of the port ends by its own time limit (COMMTIMEOUTS, about 1.1 s).
  void WakeWaitsAfter(uint32_t) override {}
  void Pause(uint32_t milliseconds) override {
    for (uint32_t slept = 0; slept < milliseconds && !StopRequested(); slept += 20) ::Sleep(20);
  }

 private:
  Win32Clock clock_;
  Win32PortList ports_;
};

// Set once the command has released its units and restored its ports.
HANDLE g_finished = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    RequestStop(SIGINT);
    return TRUE;
  }
  if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
  // The console is closed or the session ends: Windows ends the process as soon as this returns (or
  // after about 5 s), so it returns only once the units are released and the ports restored.
  RequestStop(SIGTERM);
  if (g_finished != nullptr) WaitForSingleObject(g_finished, 4500);
  return TRUE;
}

// The arguments as the user typed them, in UTF-8: main's are in the ANSI code page, where a name in
// another script becomes question marks.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(widetext::ToUtf8(wide[i]));
  LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // The messages are UTF-8; a console shows them as such only in that code page.
  const UINT consolePage = GetConsoleOutputCP();
  const bool console = _isatty(_fileno(stdout)) != 0 || _isatty(_fileno(stderr)) != 0;
  if (console) SetConsoleOutputCP(CP_UTF8);
  int code = 0;
  {
    Win32CliPlatform platform;
    code = RunCli(Arguments(), platform);
  }
  if (console) SetConsoleOutputCP(consolePage);
  std::fflush(stdout);
  std::fflush(stderr);
  if (g_finished != nullptr) SetEvent(g_finished);
  return code;
}
