// The ports on a POSIX system as bravelle-cli names and reaches them, and the system's words for
// what goes wrong with them.
#include <grp.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/CliPosix.h"
#include "ports/PortSelection.h"
#include "posix/PosixSerialDevice.h"
#include "text/CommandLineTexts.h"

namespace fs = std::filesystem;

namespace {

std::string Canonical(const std::string& path) {
  std::error_code ec;
  const fs::path c = fs::canonical(path, ec);
  return ec ? std::string() : c.string();
}

}  // namespace

std::string Environment(const char* name, const char* otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : otherwise;
}

std::string PosixPortNaming::RefusedPortName(const std::string& port, uint32_t language) {
  return IsComName(port) ? Say(TXT_CLI_LINUX_PORT_NAMES, language, port.c_str()) : std::string();
}

bool PosixPortNaming::SamePort(const std::string& a, const std::string& b) {
  if (a == b) return true;
  const std::string ca = Canonical(a);
  return !ca.empty() && ca == Canonical(b);
}

std::string PosixPortNaming::CanonicalPort(const std::string& port) {
  const std::string canonical = Canonical(port);
  return canonical.empty() ? port : canonical;
}

PosixPortAccess::PosixPortAccess(int wakeFd)
    : wakeFd_(wakeFd),
      devRoot_(Environment("BRAVELLE_DEV", "/dev")),
      ports_(Environment("BRAVELLE_SYSFS", "/sys"), devRoot_,
             Environment("BRAVELLE_CONSOLES", "/proc/consoles")) {}

std::unique_ptr<SerialDevice> PosixPortAccess::NewSerialDevice() {
  auto device = std::make_unique<PosixSerialDevice>();
  device->SetWakeDescriptor(wakeFd_);
  return device;
}

bool PosixPortAccess::PortPresent(const std::string& port) {
  std::error_code ec;
  // A link to a device that has gone (a by-id name, a pty) does not count.
  return fs::exists(port, ec);
}

std::string PosixPortAccess::PortListStamp() {
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

std::string PosixSystemWords::SystemMessage(int32_t code) { return std::strerror(code); }

std::string PosixSystemWords::PortGroup(const std::string& port) {
  // The group that may open the device, as ls -l shows it: dialout on Debian, uucp elsewhere.
  struct stat st {};
  if (stat(port.c_str(), &st) != 0) return "dialout";
  const struct group* g = getgrgid(st.st_gid);
  return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}
