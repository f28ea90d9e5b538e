// bravelle-cli on Linux and other POSIX systems: signals that stop every wait at once, the terminal,
// the language of the locale, and main, which puts the system's parts together.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/CliPosix.h"
#include "cli/CliProcess.h"
#include "cli/CliSystem.h"
#include "posix/PosixClock.h"
#include "posix/PosixPortLock.h"
#include "posix/PosixRecordFile.h"

namespace {

// Written to by the signal handler; every wait of the program also watches its read end.
int g_wake[2] = {-1, -1};

class PosixProcess : public CliProcess {
 public:
  bool IsTerminal(std::FILE* stream) override { return isatty(fileno(stream)) == 1; }
  int TerminalColumns() override {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  }

  uint32_t DefaultLanguage() override {
    // The first of them that is set decides, as for every program's messages.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value != nullptr && *value != '\0') return std::strncmp(value, "fr", 2) == 0 ? 0 : 1;
    }
    return 1;
  }

  void Pause(uint32_t milliseconds) override {
    pollfd wake{g_wake[0], POLLIN, 0};
    // A signal ends the pause early by itself; the pipe catches one that came just before.
    poll(&wake, 1, static_cast<int>(milliseconds));
  }

  void WakeWaitsAfter(uint32_t milliseconds) override {
    // SIGALRM's handler writes to the wake pipe, as a stop's does.
    itimerval timer{};
    timer.it_value.tv_sec = milliseconds / 1000;
    timer.it_value.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
    setitimer(ITIMER_REAL, &timer, nullptr);
    if (milliseconds != 0 || StopRequested()) return;
    // Taken back: a wake-up that came meanwhile must not cut the reading's next waits short.
    char bytes[16];
    while (read(g_wake[0], bytes, sizeof bytes) > 0) {
    }
  }
};

void OnAlarm(int) {
  const int saved = errno;
  const char byte = 1;
  if (write(g_wake[1], &byte, 1) < 0) {
    // The pipe is full: a wake-up is already waiting in it.
  }
  errno = saved;
}

void OnSignal(int signal) {
  const int saved = errno;
  RequestStop(signal);
  const char byte = 1;
  if (write(g_wake[1], &byte, 1) < 0) {
    // The pipe is full: a wake-up is already waiting in it.
  }
  errno = saved;
}

// A standard stream that was closed when the program started must not be taken
// by the first file the program opens: a record would land in it. Read-only
// /dev/null in its place makes every write to it fail, as writing to a closed
// stream does, and the failure is told.
void HoldClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
}

void CatchSignals() {
  if (pipe(g_wake) == 0) {
    for (int fd : g_wake) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    for (int fd : g_wake) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read of a FIFO or an open of one nobody reads ends with
  // EINTR instead of going on for ever.
  action.sa_flags = 0;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  action.sa_handler = OnAlarm;
  sigaction(SIGALRM, &action, nullptr);
  // A closed pipe on standard output is a write error like any other, told and
  // turned into an exit code, not a silent death.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardStreams();
  CatchSignals();
  PosixPortNaming naming;
  PosixPortAccess ports(g_wake[0]);
  // BRAVELLE_LOCK_DIR: another folder for the ports' lock files, for tests.
  PosixPortLocks locks(Environment("BRAVELLE_LOCK_DIR", "/var/lock"));
  PosixClock clock;
  PosixSystemWords words;
  PosixHookRunner hooks;
  PosixProcess process;
  PosixRecordFiles files;
  const CliSystem system{naming, ports, locks, clock, words, hooks, process, files};
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), system);
}
