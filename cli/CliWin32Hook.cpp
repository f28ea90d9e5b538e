// --exec on Windows: cmd /c in a job, ended with it at the time limit.
#include <cstring>

#include "cli/CliWin32.h"
#include "win32/WideText.h"
#include "win32/WindowsApi.h"

namespace {

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

// The command's standard handles: the pipe's read end, and standard error for both of its outputs.
STARTUPINFOW HookStartup(HANDLE input) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  // Standard output carries records only: what the command says goes to standard error.
  startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  return startup;
}

// The command's exit code, or kHookTimedOut once the limit is over and its job ended; its handles closed.
int WaitForCommand(const PROCESS_INFORMATION& process, HANDLE job, uint32_t limitMs) {
  int result = 0;
  if (WaitForSingleObject(process.hProcess, limitMs) != WAIT_OBJECT_0) {
    if (job != nullptr) TerminateJobObject(job, 1);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    result = HookRunner::kHookTimedOut;
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

}  // namespace

int Win32HookRunner::RunHook(const std::string& command,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             const std::string& input, uint32_t limitMs) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (CreatePipe(&readEnd, &writeEnd, &inherit, static_cast<DWORD>(input.size() + 4096)) == 0)
    return kHookNotRun;
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = HookStartup(readEnd);
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
  return WaitForCommand(process, job, limitMs);
}
