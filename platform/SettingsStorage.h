// Where the settings file can live and how its bytes reach the disk.
#pragma once

#include <cstddef>
#include <string>

class SettingsStorage {
 public:
  // How a file operation ended. A refusal by the system's access rights is
  // told apart from every other failure: it is what a standard account meets
  // in the Windows directory, and the settings then move to the user's folder.
  enum class Outcome { Done, AccessDenied, Failed };

  virtual ~SettingsStorage() = default;
  // GetWindowsDirectoryA into a 200-byte buffer with a capacity of 198 characters.
  virtual std::string WindowsDirectory() = 0;
  // The user's local application data folder (%LOCALAPPDATA%); empty when the
  // system names none that the file functions can reach.
  virtual std::string LocalAppDataDirectory() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Reads at most maxBytes.
  virtual Outcome ReadFile(const std::string& path, size_t maxBytes, std::string& bytes) = 0;
  // Creates or truncates the file and writes the bytes. written receives the
  // count of bytes the system reports written.
  virtual Outcome CreateFile(const std::string& path, const std::string& bytes, size_t& written) = 0;
  // Makes one folder whose parent exists; Done when it exists afterwards.
  virtual Outcome CreateFolder(const std::string& path) = 0;
};
