// bravelle-cli on Linux and other POSIX systems: ports from sysfs and /dev/serial, termios devices,
// signals that stop every wait at once, fsync.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/CliPlatform.h"
#include "posix/PosixClock.h"
#include "posix/PosixPortList.h"
#include "posix/PosixSerialDevice.h"
#include "text/CommandLineTexts.h"

namespace fs = std::filesystem;

namespace {

// Written to by the signal handler; every wait of the program also watches its read end.
int g_wake[2] = {-1, -1};

std::string Environment(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : otherwise;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::canonical(path, ec);
  return ec ? std::string() : c.string();
}

class PosixCliPlatform : public CliPlatform {
 public:
  // BRAVELLE_SYSFS, BRAVELLE_DEV and BRAVELLE_CONSOLES name other trees, for tests of the port list.
  PosixCliPlatform()
      : devRoot_(Environment("BRAVELLE_DEV", "/dev")),
        ports_(Environment("BRAVELLE_SYSFS", "/sys"), devRoot_,
               Environment("BRAVELLE_CONSOLES", "/proc/consoles")) {}

  std::unique_ptr<SerialDevice> NewSerialDevice() override {
    auto device = std::make_unique<PosixSerialDevice>();
    device->SetWakeDescriptor(g_wake[0]);
    return device;
  }
  Clock& Ticks() override { return clock_; }
  PortLister& Ports() override { return ports_; }

  std::string RefusedPortName(const std::string& port, uint32_t language) override {
    return IsComName(port) ? Say(TXT_CLI_LINUX_PORT_NAMES, language, port.c_str()) : std::string();
  }
  bool KnowsLocations() override { return true; }
  std::string DevicePath(const std::string& port) override { return port; }

  bool SamePort(const std::string& a, const std::string& b) override {
    if (a == b) return true;
    const std::string ca = Canonical(a);
    return !ca.empty() && ca == Canonical(b);
  }

  bool PortPresent(const std::string& port) override {
    std::error_code ec;
    // A link to a device that has gone (a by-id name, a pty) does not count.
    return fs::exists(port, ec);
  }

  uint32_t DefaultLanguage() override {
    // The first of them that is set decides, as for every program's messages.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value != nullptr && *value != '\0') return std::strncmp(value, "fr", 2) == 0 ? 0 : 1;
    }
    return 1;
  }

  PortProblem ClassifyPortError(int32_t status) override {
    switch (status) {
      case EBUSY:
        return PortProblem::Busy;
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case EIO:
        return PortProblem::Missing;
      case EACCES:
      case EPERM:
        return PortProblem::Permission;
      case ENOTTY:
        return PortProblem::NotSerial;
      default:
        return PortProblem::Other;
    }
  }

  std::string ErrorCode(int32_t status) override { return "errno " + std::to_string(status); }

  std::string PortGroup(const std::string& port) override {
    // The group that may open the device, as ls -l shows it: dialout on Debian, uucp elsewhere.
    struct stat st {};
    if (stat(port.c_str(), &st) != 0) return "dialout";
    const struct group* g = getgrgid(st.st_gid);
    return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
  }

  bool HoldersUnknown() override { return false; }

  std::string SystemMessage(int32_t code) override { return std::strerror(code); }
  bool IsTerminal(std::FILE* stream) override { return isatty(fileno(stream)) == 1; }
  bool IsRegularFile(std::FILE* stream) override {
    struct stat st {};
    return fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool SyncToDisk(std::FILE* stream) override { return fsync(fileno(stream)) == 0; }

  void Pause(uint32_t milliseconds) override {
    pollfd wake{g_wake[0], POLLIN, 0};
    // A signal ends the pause early by itself; the pipe catches one that came just before.
    poll(&wake, 1, static_cast<int>(milliseconds));
  }

 private:
  std::string devRoot_;
  PosixClock clock_;
  PosixPortList ports_;
};

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

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardStreams();
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
  // A closed pipe on standard output is a write error like any other, told and
  // turned into an exit code, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  PosixCliPlatform platform;
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), platform);
}
