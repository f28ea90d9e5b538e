// --exec on a POSIX system: /bin/sh -c in a process group of its own, ended with it at the time limit.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliPosix.h"

namespace {

// The program's environment with the hook's variables set in it.
std::vector<std::string> ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<std::string> variables;
  for (char** e = environ; *e != nullptr; ++e) {
    bool replaced = false;
    for (const auto& [name, value] : env)
      replaced = replaced || std::strncmp(*e, (name + "=").c_str(), name.size() + 1) == 0;
    if (!replaced) variables.push_back(*e);
  }
  for (const auto& [name, value] : env) variables.push_back(name + "=" + value);
  return variables;
}

// The child, between the fork and the shell: nothing here may allocate.
[[noreturn]] void ExecShell(const char* const argv[], char* const envp[], int input) {
  // Its own process group, so that the end of the time limit ends what it started too.
  setpgid(0, 0);
  dup2(input, 0);
  dup2(2, 1);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  execve("/bin/sh", const_cast<char* const*>(argv), envp);
  _exit(127);
}

// The child's exit status (128 and the signal's number for a signal), or kHookTimedOut once the limit
// is over and its process group ended.
int WaitForChild(pid_t child, uint32_t limitMs) {
  int status = 0;
  for (uint32_t waited = 0;; waited += 20) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) return HookRunner::kHookNotRun;
    if (waited >= limitMs) {
      kill(-child, SIGTERM);
      usleep(200000);
      kill(-child, SIGKILL);
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return HookRunner::kHookTimedOut;
    }
    usleep(20000);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status) == 127 ? 127 : WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

int PosixHookRunner::RunHook(const std::string& command,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             const std::string& input, uint32_t limitMs) {
  // Everything the child needs is made before the fork: other threads may hold the allocator's lock.
  std::vector<std::string> variables = ChildEnvironment(env);
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(&v[0]);
  envp.push_back(nullptr);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  int in[2];
  if (pipe2(in, O_CLOEXEC) != 0) return kHookNotRun;
  const pid_t child = fork();
  if (child < 0) {
    close(in[0]);
    close(in[1]);
    return kHookNotRun;
  }
  if (child == 0) ExecShell(argv, envp.data(), in[0]);
  setpgid(child, child);
  close(in[0]);
  // A command that does not read its input must not hold us: the pipe takes a record whole.
  fcntl(in[1], F_SETFL, fcntl(in[1], F_GETFL) | O_NONBLOCK);
  if (write(in[1], input.data(), input.size()) < 0) {
    // It does not read; the record is in its environment too.
  }
  close(in[1]);
  return WaitForChild(child, limitMs);
}
