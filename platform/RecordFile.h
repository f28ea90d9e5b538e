// The files a front end appends its records and journals to, as the system holds them; one backend
// per system (posix/PosixRecordFile, win32/Win32RecordFile).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Which file a path leads to, whatever its spelling: the device and file number (POSIX), the volume's
// serial number and the file index (Windows). A file not made yet is known by its folder's identity and
// its name there (Name, empty for a file that exists).
struct FileIdentity {
  uint64_t Device = 0;
  uint64_t Node = 0;
  std::string Name;
  bool operator==(const FileIdentity& o) const {
    return Device == o.Device && Node == o.Node && Name == o.Name;
  }
  bool operator<(const FileIdentity& o) const {
    return Device != o.Device ? Device < o.Device : Node != o.Node ? Node < o.Node : Name < o.Name;
  }
};

// A file the program writes its lines to, as the system holds it: a record file is locked from the
// look at its end to the last byte of the append, so that writers in other processes take turns.
class RecordFileHandle {
 public:
  virtual ~RecordFileHandle() = default;
  // A regular file, which can be locked, read, cut back and synced; a pipe, FIFO or terminal cannot.
  virtual bool Regular() = 0;
  // Waits for the lock (exclusive, advisory), false when the system refuses it.
  virtual bool Lock() = 0;
  virtual void Unlock() = 0;
  // The size now; -1 when it cannot be told.
  virtual int64_t Size() = 0;
  // Up to count bytes from offset (fewer at the end); false on a read error.
  virtual bool ReadAt(int64_t offset, size_t count, std::string& bytes) = 0;
  // Every byte at the end of the file, or false with Error() set (a full disk may take a part).
  virtual bool Append(const std::string& bytes) = 0;
  virtual bool Truncate(int64_t size) = 0;
  virtual bool Sync() = 0;
  // Whether the path it was opened by still names this very file (not renamed, not deleted).
  virtual bool StillNamed() = 0;
  // The file's identity (Name empty); false when the system does not tell it.
  virtual bool Identity(FileIdentity& identity) = 0;
  // The system's code of the last failure.
  virtual int Error() = 0;
};

// Where such files come from, and the system's words for their failures.
class RecordFiles {
 public:
  virtual ~RecordFiles() = default;
  // A file for appending (or, with truncate, written from its start), created when missing; the path
  // is UTF-8. "-" is not a file here: the caller hands standard output or error to StandardStream.
  // Null with the system's error code when it cannot be opened.
  virtual std::unique_ptr<RecordFileHandle> Open(const std::string& path, bool truncate, int& error) = 0;
  // An existing file, for reading only (never created); null with the system's error code.
  virtual std::unique_ptr<RecordFileHandle> OpenToRead(const std::string& path, int& error) = 0;
  // Standard output (1) or standard error (2) as such a file: never regular, never locked.
  virtual std::unique_ptr<RecordFileHandle> StandardStream(int which) = 0;
  // Puts the file at from in the place of the one at to, at once for any reader, and durably; false with
  // the system's error code when it cannot.
  virtual bool Replace(const std::string& from, const std::string& to, int& error) = 0;
  virtual void Remove(const std::string& path) = 0;
  // The identity of the file a path leads to; of a file not made yet, its folder's and its name there.
  // False when neither can be told (no such folder).
  virtual bool Identify(const std::string& path, FileIdentity& identity) = 0;
  // 0 when the path names a folder; otherwise the system's code (no such file, not a folder).
  virtual int FolderError(const std::string& path) = 0;
  // The system's words for a file error code (errno, a Windows code), UTF-8.
  virtual std::string ErrorText(int error) = 0;
};
