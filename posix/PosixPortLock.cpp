// A port's exclusive flag, and its UUCP lock file holding our pid as ten digits and a newline.
#include "posix/PosixPortLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The lock file, removed when the port is let go.
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

// The device a port's name leads to: the lock file names the device, whatever link was given.
std::string DeviceOf(const std::string& port) {
  std::error_code ec;
  const fs::path device = fs::canonical(port, ec);
  return ec ? port : device.string();
}

// Another program's exclusive flag: root's open would pass it, and talk over that program.
bool HeldExclusively(const std::string& device) {
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int exclusive = 0;
  const bool held = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
  close(fd);
  return held;
}

// The lock file's name: the device below /dev, any further slash made an underscore.
std::string LockName(const std::string& device) {
  std::string name =
      device.compare(0, 5, "/dev/") == 0 ? device.substr(5) : fs::path(device).filename().string();
  std::replace(name.begin(), name.end(), '/', '_');
  return "LCK.." + name;
}

}  // namespace

std::unique_ptr<PortHold> PosixPortLocks::Hold(const std::string& port, int32_t& status) {
  const std::string device = DeviceOf(port);
  if (HeldExclusively(device)) {
    status = EBUSY;
    return nullptr;
  }
  const std::string path = lockDir_ + "/" + LockName(device);
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
