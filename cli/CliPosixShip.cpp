// What ship and records need of a POSIX system: unixODBC's driver manager loaded at run time (a
// reading never needs it, and the program builds without its development files), journals by their
// descriptors, cursors replaced by a rename.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cli/CliPosix.h"

namespace {

class PosixJournal : public JournalHandle {
 public:
  PosixJournal(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixJournal() override { close(fd_); }
  int64_t Size() override {
    struct stat st {};
    return fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
  }
  bool ReadAt(int64_t offset, size_t count, std::string& bytes) override {
    bytes.assign(count, '\0');
    size_t got = 0;
    while (got < count) {
      const ssize_t n = pread(fd_, &bytes[got], count - got, static_cast<off_t>(offset + got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return true;
  }
  bool StillNamed() override {
    struct stat open {
    }, named{};
    return fstat(fd_, &open) == 0 && stat(path_.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
  }
  std::string Identity() override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return std::string();
    return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
  }

 private:
  int fd_;
  std::string path_;
};

}  // namespace

// The driver manager stays loaded to the end: drivers it loaded may have left threads or handlers.
PosixShipAccess::~PosixShipAccess() = default;

const odbc::Calls* PosixShipAccess::Odbc(std::string& why) {
  if (loaded_) return &calls_;
  // Debian's unixodbc: the driver manager's run-time library, whatever development files are installed.
  void* library = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* text = dlerror();
    why = text != nullptr ? text : "libodbc.so.2";
    return nullptr;
  }
  std::string missing;
  if (!odbc::FillCalls(calls_, dlsym, library, missing)) {
    why = "libodbc.so.2: " + missing;
    return nullptr;
  }
  loaded_ = true;
  return &calls_;
}

std::unique_ptr<JournalHandle> PosixShipAccess::OpenJournal(const std::string& path, int& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<PosixJournal>(fd, path);
}

bool PosixShipAccess::ReadWhole(const std::string& path, std::string& bytes) {
  int error = 0;
  std::unique_ptr<JournalHandle> handle = OpenJournal(path, error);
  if (!handle) return false;
  const int64_t size = handle->Size();
  return size >= 0 && size < (1 << 20) && handle->ReadAt(0, static_cast<size_t>(size), bytes);
}

bool PosixShipAccess::ReplaceWhole(const std::string& path, const std::string& bytes, int& error) {
  const std::string temporary = path + ".new";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // Synced before the rename: after a power cut the name holds the old cursor or the new one.
  ok = ok && fsync(fd) == 0;
  if (!ok) error = errno != 0 ? errno : EIO;
  close(fd);
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    ok = false;
  }
  if (!ok) unlink(temporary.c_str());
  return ok;
}
