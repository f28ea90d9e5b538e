// Record files by their descriptors.
#include "posix/PosixRecordFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

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
  bool Identity(FileIdentity& identity) override {
    struct stat st {};
    if (fstat(fd_, &st) != 0) return Failed();
    identity =
        FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), std::string()};
    return true;
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

}  // namespace

std::unique_ptr<RecordFileHandle> PosixRecordFiles::Open(const std::string& path, bool truncate, int& error) {
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

std::unique_ptr<RecordFileHandle> PosixRecordFiles::OpenToRead(const std::string& path, int& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<PosixRecordFile>(fd, path, true);
}

std::unique_ptr<RecordFileHandle> PosixRecordFiles::StandardStream(int which) {
  return std::make_unique<PosixRecordFile>(which, std::string(), false);
}

bool PosixRecordFiles::Replace(const std::string& from, const std::string& to, int& error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  error = errno;
  return false;
}

void PosixRecordFiles::Remove(const std::string& path) { unlink(path.c_str()); }

bool PosixRecordFiles::Identify(const std::string& path, FileIdentity& identity) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    identity =
        FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), std::string()};
    return true;
  }
  // Not made yet: the folder it would be made in, and its name there.
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (stat(folder.c_str(), &st) != 0) return false;
  identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                          slash == std::string::npos ? path : path.substr(slash + 1)};
  return true;
}

int PosixRecordFiles::FolderError(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string PosixRecordFiles::ErrorText(int error) { return std::strerror(error); }
