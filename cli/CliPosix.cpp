// bravelle-cli on Linux and other POSIX systems: ports from sysfs and /dev/serial, termios devices,
// signals that stop every wait at once, fsync.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
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

// A record file by its descriptor: flock for the turns of writers, fstat against stat of the path for
// a rotation, ftruncate to take back a part that a full disk accepted.
class PosixRecordFile : public RecordFileHandle {
 public:
  PosixRecordFile(int fd, std::string path, bool own) : fd_(fd), path_(std::move(path)), own_(own) {
    struct stat st {};
    regular_ = own && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  }
  ~PosixRecordFile() override {
    if (own_) close(fd_);
  }
  bool Regular() override { return regular_; }
  bool Lock() override {
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return Failed();
    }
    return true;
  }
  void Unlock() override { flock(fd_, LOCK_UN); }
  int64_t Size() override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return Failed(), -1;
    return st.st_size;
  }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    size_t got = 0;
    while (got < count) {
      const ssize_t n = pread(fd_, &bytes[got], count - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Failed();
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return true;
  }
  bool Append(const std::string& bytes) override {
    if (!own_) {
      // Standard output or error: the same buffered stream the program's other lines go through.
      std::FILE* stream = fd_ == 1 ? stdout : stderr;
      errno = 0;
      if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() || std::fflush(stream) != 0)
        return Failed();
      return true;
    }
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Failed();
      done += static_cast<size_t>(n);
    }
    return true;
  }
  bool Truncate(int64_t size) override { return ftruncate(fd_, static_cast<off_t>(size)) == 0 || Failed(); }
  bool Sync() override { return !regular_ || fsync(fd_) == 0 || Failed(); }
  bool StillNamed() override {
    if (!regular_) return true;
    struct stat open {
    }, named{};
    return fstat(fd_, &open) == 0 && stat(path_.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
  }
  int Error() override { return error_; }

 private:
  bool Failed() {
    error_ = errno != 0 ? errno : EIO;
    return false;
  }
  int fd_;
  std::string path_;
  bool own_;
  bool regular_ = false;
  int error_ = 0;
};

// A UUCP lock file, LCK..ttyUSB0 in the lock folder, holding our pid as ten digits and a newline:
// the convention minicom, picocom and ModemManager's helpers honour.
class PosixPortHold : public PortHold {
 public:
  explicit PosixPortHold(std::string path) : path_(std::move(path)) {}
  ~PosixPortHold() override {
    if (!path_.empty()) unlink(path_.c_str());
  }

 private:
  std::string path_;
};

// The pid a lock file names (ten ASCII digits, or the binary int of old programs); 0 when none.
pid_t LockHolder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n == static_cast<ssize_t>(sizeof(int))) {
    int binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    if (binary > 0 && std::strspn(text, " 0123456789\n") != 4) return binary;
  }
  return n > 0 ? static_cast<pid_t>(std::strtol(text, nullptr, 10)) : 0;
}

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

class PosixCliPlatform : public CliPlatform {
 public:
  // BRAVELLE_SYSFS, BRAVELLE_DEV and BRAVELLE_CONSOLES name other trees, for tests of the port list;
  // BRAVELLE_LOCK_DIR another folder for the ports' lock files, for tests.
  PosixCliPlatform()
      : devRoot_(Environment("BRAVELLE_DEV", "/dev")),
        lockDir_(Environment("BRAVELLE_LOCK_DIR", "/var/lock")),
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

  std::unique_ptr<PortHold> HoldPort(const std::string& port, int32_t& status) override {
    const std::string device = CanonicalPort(port);
    // Another program's exclusive flag: root's open would pass it, and talk over that program.
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      int exclusive = 0;
      const bool held = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
      close(fd);
      if (held) {
        status = EBUSY;
        return nullptr;
      }
    }
    // The lock file's name: the device below /dev, any further slash made an underscore.
    std::string name =
        device.compare(0, 5, "/dev/") == 0 ? device.substr(5) : fs::path(device).filename().string();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string path = lockDir_ + "/LCK.." + name;
    for (int attempt = 0; attempt < 2; ++attempt) {
      const int lock = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (lock >= 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
        const bool written = write(lock, text, 11) == 11;
        close(lock);
        if (written) return std::make_unique<PosixPortHold>(path);
        unlink(path.c_str());
        break;
      }
      if (errno != EEXIST) break;
      // A lock whose holder is gone is stale: removed, and taken.
      if (Alive(LockHolder(path))) {
        status = EBUSY;
        return nullptr;
      }
      unlink(path.c_str());
    }
    // No lock folder we may write to: the port is used without a lock file, as before.
    return std::make_unique<PortHold>();
  }

  std::string CanonicalPort(const std::string& port) override {
    const std::string canonical = Canonical(port);
    return canonical.empty() ? port : canonical;
  }

  std::string PortListStamp() override {
    // A port that comes or goes makes or removes its node, and udev its links: the folders' times
    // of change move.
    std::string stamp;
    for (const std::string& folder : {devRoot_, devRoot_ + "/serial/by-id", devRoot_ + "/serial/by-path"}) {
      struct stat st {};
      if (stat(folder.c_str(), &st) == 0)
        stamp += std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " ";
    }
    return stamp;
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
  int TerminalColumns() override {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  }

  std::unique_ptr<RecordFileHandle> OpenRecordFile(const std::string& path, bool truncate,
                                                   int& error) override {
    // O_APPEND: every write lands at the end, whoever else writes. A FIFO, a terminal or a device is
    // only written: opened so, a FIFO nobody reads holds the open until a signal ends it with EINTR.
    struct stat st {};
    const bool other = stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    const int flags = O_CREAT | O_CLOEXEC | O_NOCTTY | (truncate ? O_TRUNC : O_APPEND);
    int fd = open(path.c_str(), (other ? O_WRONLY : O_RDWR) | flags, 0666);
    // A file this account may only write is still written, without a look back.
    if (fd < 0 && errno == EACCES && !other) fd = open(path.c_str(), O_WRONLY | flags, 0666);
    if (fd < 0) {
      error = errno;
      return nullptr;
    }
    return std::make_unique<PosixRecordFile>(fd, path, true);
  }
  std::unique_ptr<RecordFileHandle> StandardStream(int which) override {
    return std::make_unique<PosixRecordFile>(which, std::string(), false);
  }
  std::string FileErrorText(int error) override { return std::strerror(error); }

  int RunHook(const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
              const std::string& input, uint32_t limitMs) override {
    // Everything the child needs is made before the fork: other threads may hold the allocator's lock.
    std::vector<std::string> variables;
    for (char** e = environ; *e != nullptr; ++e) {
      bool replaced = false;
      for (const auto& [name, value] : env)
        replaced = replaced || std::strncmp(*e, (name + "=").c_str(), name.size() + 1) == 0;
      if (!replaced) variables.push_back(*e);
    }
    for (const auto& [name, value] : env) variables.push_back(name + "=" + value);
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
    if (child == 0) {
      // Its own process group, so that the end of the time limit ends what it started too.
      setpgid(0, 0);
      dup2(in[0], 0);
      dup2(2, 1);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      signal(SIGPIPE, SIG_DFL);
      execve("/bin/sh", const_cast<char* const*>(argv), envp.data());
      _exit(127);
    }
    setpgid(child, child);
    close(in[0]);
    // A command that does not read its input must not hold us: the pipe takes a record whole.
    fcntl(in[1], F_SETFL, fcntl(in[1], F_GETFL) | O_NONBLOCK);
    if (write(in[1], input.data(), input.size()) < 0) {
      // It does not read; the record is in its environment too.
    }
    close(in[1]);
    int status = 0;
    for (uint32_t waited = 0;; waited += 20) {
      const pid_t done = waitpid(child, &status, WNOHANG);
      if (done == child) break;
      if (done < 0 && errno != EINTR) return kHookNotRun;
      if (waited >= limitMs) {
        kill(-child, SIGTERM);
        usleep(200000);
        kill(-child, SIGKILL);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return kHookTimedOut;
      }
      usleep(20000);
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 127 ? 127 : WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
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

  void Pause(uint32_t milliseconds) override {
    pollfd wake{g_wake[0], POLLIN, 0};
    // A signal ends the pause early by itself; the pipe catches one that came just before.
    poll(&wake, 1, static_cast<int>(milliseconds));
  }

 private:
  std::string devRoot_;
  std::string lockDir_;
  PosixClock clock_;
  PosixPortList ports_;
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
  action.sa_handler = OnAlarm;
  sigaction(SIGALRM, &action, nullptr);
  // A closed pipe on standard output is a write error like any other, told and
  // turned into an exit code, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  PosixCliPlatform platform;
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), platform);
}
