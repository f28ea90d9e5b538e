// bravelle-cli on Linux and other POSIX systems: ports from sysfs and /dev/serial, termios devices,
// signals that stop every wait at once, fsync.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/CliPlatform.h"
#include "posix/PosixClock.h"
#include "posix/PosixPortRegistry.h"
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

// "COM5" or "\\.\COM5", in any case: the way Windows names its ports.
bool IsWindowsPortName(std::string name) {
  if (name.compare(0, 4, "\\\\.\\") == 0) name = name.substr(4);
  if (name.size() < 4 || (name[0] != 'C' && name[0] != 'c') || (name[1] != 'O' && name[1] != 'o') ||
      (name[2] != 'M' && name[2] != 'm'))
    return false;
  for (size_t i = 3; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
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
        registry_(Environment("BRAVELLE_SYSFS", "/sys"), devRoot_,
                  Environment("BRAVELLE_CONSOLES", "/proc/consoles")) {}

  std::unique_ptr<SerialDevice> NewSerialDevice() override {
    auto device = std::make_unique<PosixSerialDevice>();
    device->SetWakeDescriptor(g_wake[0]);
    return device;
  }
  Clock& Ticks() override { return clock_; }
  PortRegistry& Registry() override { return registry_; }
  const TextLocale& Locale() override { return locale_; }

  void Describe(std::vector<PortDescription>& ports) override {
    // The walk the port list has just made.
    const std::vector<SysfsPort>& known = registry_.Listed();
    // The udev names that lead to each port: the adapter's identity, and its socket.
    std::vector<std::pair<std::string, std::string>> byId = Links("by-id");
    std::vector<std::pair<std::string, std::string>> byPath = Links("by-path");
    for (PortDescription& d : ports) {
      for (const SysfsPort& p : known) {
        if (p.Path != d.Port) continue;
        d.Driver = p.Driver;
        d.Vid = p.Vid;
        d.Pid = p.Pid;
        d.Manufacturer = p.Manufacturer;
        d.Product = p.Product;
        d.SerialNumber = p.SerialNumber;
        d.Interface = p.Interface;
        d.InterfaceName = p.InterfaceName;
        d.OneOfSeveral = p.OneOfSeveral;
        d.PortNumber = p.PortNumber;
        d.Location = p.Location;
        d.InterfaceLocation = p.InterfaceLocation;
        d.Console = p.Console;
      }
      const std::string target = Canonical(d.Port);
      if (target.empty()) continue;
      for (const auto& [name, leadsTo] : byId)
        if (leadsTo == target) d.ById.push_back(name);
      for (const auto& [name, leadsTo] : byPath)
        if (leadsTo == target) d.ByPath.push_back(name);
    }
  }

  std::string RefusedPortName(const std::string& port, uint32_t language) override {
    return IsWindowsPortName(port) ? Say(TXT_CLI_LINUX_PORT_NAMES, language, port.c_str()) : std::string();
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

  std::vector<std::string> PortProblemLines(int32_t status, const std::string& port,
                                            uint32_t language) override {
    std::vector<std::string> lines{SystemMessage(status) + " (errno " + std::to_string(status) + ")"};
    switch (ClassifyPortError(status)) {
      case PortProblem::Permission: {
        // The group that may open the device, as ls -l shows it: dialout on Debian, uucp elsewhere.
        std::string owner = "dialout";
        struct stat st {};
        if (stat(port.c_str(), &st) == 0) {
          const struct group* g = getgrgid(st.st_gid);
          owner = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
        }
        lines.push_back(Say(TXT_CLI_ADVICE_GROUP, language, owner.c_str()));
        lines.push_back(Say(TXT_CLI_ADVICE_GROUP_COMMAND, language, owner.c_str()));
        break;
      }
      case PortProblem::Busy:
        lines.push_back(Say(TXT_CLI_ADVICE_BUSY, language));
        lines.push_back(Say(TXT_CLI_ADVICE_BUSY_FIX, language));
        lines.push_back(Say(TXT_CLI_ADVICE_WHO, language, port.c_str()));
        break;
      case PortProblem::Missing:
        lines.push_back(Say(TXT_CLI_ADVICE_MISSING, language));
        lines.push_back(Say(TXT_CLI_ADVICE_MISSING_FIX, language));
        break;
      case PortProblem::NotSerial:
        lines.push_back(Say(TXT_CLI_ADVICE_NOT_SERIAL, language));
        break;
      default:
        break;
    }
    return lines;
  }

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
  // Each link in <dev>/serial/<folder> with the device it leads to.
  std::vector<std::pair<std::string, std::string>> Links(const char* folder) {
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(devRoot_) / "serial" / folder, ec), end; !ec && it != end;
         it.increment(ec))
      links.emplace_back(it->path().string(), Canonical(it->path().string()));
    std::sort(links.begin(), links.end());
    return links;
  }

  std::string devRoot_;
  PosixClock clock_;
  PosixPortRegistry registry_;
  PosixTextLocale locale_;
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
