// bravelle-cli on Windows: Ctrl+C, Ctrl+Break and the console's close, logoff and shutdown; the
// console; the settings file's language; the arguments in UTF-16; and main, which puts the system's
// parts together.
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>
#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include "cli/CliProcess.h"
#include "cli/CliSystem.h"
#include "cli/CliWin32.h"
#include "text/SettingsFile.h"
#include "win32/WideText.h"
#include "win32/Win32Clock.h"
#include "win32/Win32RecordFile.h"
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

class Win32Process : public CliProcess {
 public:
  bool IsTerminal(std::FILE* stream) override { return _isatty(_fileno(stream)) != 0; }
  int TerminalColumns() override {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  uint32_t DefaultLanguage() override { return StoredLanguage(); }
  void Pause(uint32_t milliseconds) override {
    for (uint32_t slept = 0; slept < milliseconds && !StopRequested(); slept += 20) ::Sleep(20);
  }
  // A read of the port ends by its own time limit (COMMTIMEOUTS, about 1.1 s).
  void WakeWaitsAfter(uint32_t) override {}
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

// The command line run on the system's parts; returns its exit code.
int Run() {
  Win32PortNaming naming;
  Win32PortAccess ports;
  Win32PortLocks locks;
  Win32Clock clock;
  Win32SystemWords words;
  Win32HookRunner hooks;
  Win32Process process;
  Win32RecordFiles files;
  const CliSystem system{naming, ports, locks, clock, words, hooks, process, files};
  return RunCli(Arguments(), system);
}

}  // namespace

int main() {
  g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // The messages are UTF-8; a console shows them as such only in that code page.
  const UINT consolePage = GetConsoleOutputCP();
  const bool console = _isatty(_fileno(stdout)) != 0 || _isatty(_fileno(stderr)) != 0;
  if (console) SetConsoleOutputCP(CP_UTF8);
  const int code = Run();
  if (console) SetConsoleOutputCP(consolePage);
  std::fflush(stdout);
  std::fflush(stderr);
  if (g_finished != nullptr) SetEvent(g_finished);
  return code;
}
