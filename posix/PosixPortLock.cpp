// A port's exclusive flag, and its UUCP lock file holding our pid as ten digits and a newline.
#include "posix/PosixPortLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A lock file that is still empty this long after it was made was left by a program that died between
// making it and writing its pid; a younger one is being written.
constexpr int64_t kEmptyLockMs = 1000;
constexpr int kTakeTries = 200;

// What a lock file says of its holder.
struct LockText {
  bool Gone = false;   // no lock file (any more)
  bool Empty = false;  // made, its pid not written yet
  pid_t Pid = 0;       // 0: none that can be read
  int64_t AgeMs = 0;
  ino_t Node = 0;
};

// The pid a lock file names (ten ASCII digits, or the binary int of old programs).
LockText ReadLock(const std::string& path) {
  LockText lock;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    lock.Gone = errno == ENOENT;
    return lock;
  }
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    lock.Node = st.st_ino;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    lock.AgeMs = (now.tv_sec - st.st_mtim.tv_sec) * 1000 + (now.tv_nsec - st.st_mtim.tv_nsec) / 1000000;
  }
  char text[32] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  lock.Empty = n == 0;
  if (n == static_cast<ssize_t>(sizeof(int))) {
    int binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    if (binary > 0 && std::strspn(text, " 0123456789\n") != 4) {
      lock.Pid = binary;
      return lock;
    }
  }
  if (n > 0) lock.Pid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
  return lock;
}

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The name the system gives a process (its comm), empty when it does not say.
std::string ProgramOf(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/comm", static_cast<int>(pid));
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return std::string();
  char name[64] = {};
  const bool read = std::fgets(name, sizeof name, file) != nullptr;
  std::fclose(file);
  std::string program = read ? name : "";
  while (!program.empty() && (program.back() == '\n' || program.back() == '\r')) program.pop_back();
  return program;
}

// The lock file, removed when the port is let go (while it still names us).
class PosixPortHold : public PortHold {
 public:
  explicit PosixPortHold(std::string path) : path_(std::move(path)) {}
  ~PosixPortHold() override {
    if (ReadLock(path_).Pid == getpid()) unlink(path_.c_str());
  }

 private:
  std::string path_;
};

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

// A file of our own in the lock folder holding our pid whole, to be given the lock's name at once;
// empty when the folder cannot be written to.
std::string PidFile(const std::string& folder) {
  static std::atomic<unsigned> made{0};
  char name[64];
  std::snprintf(name, sizeof name, "/LTMP.%d.%u", static_cast<int>(getpid()), made++);
  const std::string path = folder + name;
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    // One a process of our pid left behind long ago.
    if (fd < 0 && errno == EEXIST) {
      unlink(path.c_str());
      continue;
    }
    if (fd < 0) return std::string();
    const bool written = write(fd, text, 11) == 11;
    close(fd);
    if (written) return path;
    unlink(path.c_str());
    return std::string();
  }
  return std::string();
}

// The lock folder's own lock: two of our processes that find one stale lock file take turns to take it
// over, the second seeing the first's pid in it. Other programs do not take it; for them the read-back
// after the rename is what there is.
class FolderTurn {
 public:
  explicit FolderTurn(const std::string& folder)
      : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderTurn() {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

enum class Take { Taken, Busy, Again };

// A stale lock file (its process gone, or empty too long) replaced by ours, if it is still the one seen.
Take TakeOver(const std::string& folder, const std::string& path, const std::string& pidFile,
              const LockText& seen) {
  const FolderTurn turn(folder);
  const LockText now = ReadLock(path);
  if (now.Gone || now.Node != seen.Node || now.Pid != seen.Pid || now.Empty != seen.Empty) return Take::Again;
  if (rename(pidFile.c_str(), path.c_str()) != 0) return Take::Busy;
  return ReadLock(path).Pid == getpid() ? Take::Taken : Take::Again;
}

}  // namespace

std::unique_ptr<PortHold> PosixPortLocks::Hold(const std::string& port, int32_t& status, PortHolder& holder) {
  const std::string device = DeviceOf(port);
  if (HeldExclusively(device)) {
    status = EBUSY;
    return nullptr;
  }
  const std::string path = lockDir_ + "/" + LockName(device);
  std::string pidFile = PidFile(lockDir_);
  // No lock folder we may write to: the port is used without a lock file, as other programs do.
  if (pidFile.empty()) return std::make_unique<PortHold>();
  for (int attempt = 0; attempt < kTakeTries; ++attempt) {
    // The lock's name given to a file that holds our pid already: never an empty lock file of ours.
    if (link(pidFile.c_str(), path.c_str()) == 0) {
      unlink(pidFile.c_str());
      return std::make_unique<PosixPortHold>(path);
    }
    if (errno != EEXIST) {
      // A file system without links: made with O_EXCL, and written at once.
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0 && errno != EEXIST) break;
      if (fd >= 0) {
        char line[16];
        std::snprintf(line, sizeof line, "%10d\n", static_cast<int>(getpid()));
        const bool written = write(fd, line, 11) == 11;
        close(fd);
        if (!written) {
          unlink(path.c_str());
          break;
        }
        unlink(pidFile.c_str());
        return std::make_unique<PosixPortHold>(path);
      }
    }
    const LockText lock = ReadLock(path);
    if (lock.Gone) continue;  // let go meanwhile: tried again
    if (lock.Empty && lock.AgeMs < kEmptyLockMs) {
      // Made by a program that is writing its pid now.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (!lock.Empty && Alive(lock.Pid)) {
      holder = PortHolder{path, static_cast<int>(lock.Pid), ProgramOf(lock.Pid)};
      break;
    }
    const Take take = TakeOver(lockDir_, path, pidFile, lock);
    if (take == Take::Taken) return std::make_unique<PosixPortHold>(path);
    if (take == Take::Busy) break;
    // Renamed onto the lock's name: a fresh file of ours for the next try.
    if (access(pidFile.c_str(), F_OK) != 0) pidFile = PidFile(lockDir_);
    if (pidFile.empty()) break;
  }
  if (!pidFile.empty()) unlink(pidFile.c_str());
  // The lock is another's, or could not be taken: the port is not used without it.
  status = EBUSY;
  return nullptr;
}
