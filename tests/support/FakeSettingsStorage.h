// The one fake settings storage: an in-memory disk with the failures a real one has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/SettingsStorage.h"

namespace fake {

class FakeSettingsStorage : public SettingsStorage {
 public:
  std::string Directory = "C:\\windows";
  // Empty: a system that names no user folder.
  std::string LocalAppData = "C:\\Users\\tech\\AppData\\Local";
  std::map<std::string, std::string> Files;
  // The folders that exist: a file is created only in one of them (or, when
  // its path names no folder, in the current one), a folder only inside one of
  // them. The user's Bravelle folder is not there yet.
  std::set<std::string> Folders{Directory, LocalAppData};

  // Injected failures: files held open by another program or with a region
  // locked (they open, but reading them fails), files the user may not even
  // read, a file that cannot be created, a write the system reports shorter
  // than asked for by ShortBy bytes.
  std::set<std::string> Unreadable;
  std::set<std::string> ReadDenied;
  bool CreateFails = false;
  size_t ShortBy = 0;
  // Folders in and under which nothing may be created: access denied.
  std::set<std::string> DeniedFolders;
  // The Windows error with which creating a file fails, by file or by folder
  // for every file in it: what a read-only or hidden file (access denied), a
  // write-protected medium or a missing privilege answer.
  std::map<std::string, uint32_t> CreateErrors;

  // What was done.
  int Reads = 0;
  int Creates = 0;

  // A standard account of recent Windows: the Windows directory refuses every write.
  void StandardAccount() { DeniedFolders.insert(Directory); }

  std::string WindowsDirectory() override { return Directory; }
  std::string LocalAppDataDirectory() override { return LocalAppData; }
  bool FileExists(const std::string& path) override { return Files.count(path) != 0; }
  Outcome ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) override {
    ++Reads;
    if (ReadDenied.count(path)) return Outcome::AccessDenied;
    auto it = Files.find(path);
    if (Unreadable.count(path) || it == Files.end()) return Outcome::Failed;
    bytes = it->second.substr(0, maxBytes);
    return Outcome::Done;
  }
  Outcome CreateFile(const std::string& path, const std::string& bytes, size_t& written) override {
    ++Creates;
    const std::string folder = Parent(path);
    for (const std::string& where : {path, folder})
      if (CreateErrors.count(where)) return OutcomeOfError(CreateErrors.at(where));
    if (Denied(folder)) return Outcome::AccessDenied;
    if (CreateFails || (!folder.empty() && !Folders.count(folder))) return Outcome::Failed;
    written = bytes.size() > ShortBy ? bytes.size() - ShortBy : 0;
    Files[path] = bytes.substr(0, written);
    return Outcome::Done;
  }
  Outcome CreateFolder(const std::string& path) override {
    if (Folders.count(path)) return Outcome::Done;
    if (Denied(path)) return Outcome::AccessDenied;
    if (!Folders.count(Parent(path))) return Outcome::Failed;
    Folders.insert(path);
    return Outcome::Done;
  }

 private:
  static std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
  bool Denied(const std::string& path) const {
    for (const std::string& d : DeniedFolders)
      if (path == d || path.compare(0, d.size() + 1, d + "\\") == 0) return true;
    return false;
  }
};

}  // namespace fake
