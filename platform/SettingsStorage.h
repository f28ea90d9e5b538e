// Where the settings file can live and how its bytes reach the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Paths are UTF-8: a profile folder may be named in any script.
class SettingsStorage {
 public:
  // How a file operation ended. A refusal by the system's access rights is
  // told apart from every other failure: it is what a standard account meets
  // in the Windows directory, and the settings then move to the user's folder.
  enum class Outcome { Done, AccessDenied, Failed };

  // The Windows errors that are such a refusal: access denied, a write-protected
  // medium, and a privilege the user does not hold.
  static constexpr uint32_t kErrorAccessDenied = 5;
  static constexpr uint32_t kErrorWriteProtect = 19;
  static constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
  static Outcome OutcomeOfError(uint32_t error) {
    const bool refused =
        error == kErrorAccessDenied || error == kErrorWriteProtect || error == kErrorPrivilegeNotHeld;
    return refused ? Outcome::AccessDenied : Outcome::Failed;
  }

  virtual ~SettingsStorage() = default;
  // GetWindowsDirectoryW into a buffer of 200 characters with a capacity of 198.
  virtual std::string WindowsDirectory() = 0;
  // The user's local application data folder (%LOCALAPPDATA%); empty when the
  // system names none.
  virtual std::string LocalAppDataDirectory() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Reads at most maxBytes. A read that fails once the file is open is a
  // failure (nothing is read), not a shorter file.
  virtual Outcome ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) = 0;
  // Creates or truncates the file and writes the bytes. written receives the
  // count of bytes the system reports written.
  virtual Outcome CreateFile(const std::string& path, const std::string& bytes, size_t& written) = 0;
  // Makes one folder whose parent exists; Done when it exists afterwards.
  virtual Outcome CreateFolder(const std::string& path) = 0;
};
