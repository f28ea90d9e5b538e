// bravelle-cli on Linux and other POSIX systems: ports from sysfs, termios devices, SIGINT, fsync.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/CliPlatform.h"
#include "posix/PosixClock.h"
#include "posix/PosixPortRegistry.h"
#include "posix/PosixSerialDevice.h"

namespace {

class PosixCliPlatform : public CliPlatform {
 public:
  // BRAVELLE_SYSFS names another sysfs tree, for tests of the port list.
  PosixCliPlatform() : registry_(std::getenv("BRAVELLE_SYSFS") ? std::getenv("BRAVELLE_SYSFS") : "/sys") {}

  std::unique_ptr<SerialDevice> NewSerialDevice() override { return std::make_unique<PosixSerialDevice>(); }
  Clock& Ticks() override { return clock_; }
  PortRegistry& Registry() override { return registry_; }
  const TextLocale& Locale() override { return locale_; }

  void Describe(const PortListEntry& entry, PortDescription& port) override {
    // One walk of sysfs describes every port of a listing.
    if (described_.empty()) described_ = registry_.Ports();
    for (const SysfsPort& p : described_) {
      if (p.Path != entry.Port) continue;
      port.Driver = p.Driver;
      port.Vid = p.Vid;
      port.Pid = p.Pid;
      port.Manufacturer = p.Manufacturer;
      port.Product = p.Product;
      port.SerialNumber = p.SerialNumber;
      return;
    }
  }

  std::string DevicePath(const std::string& port) override { return port; }

  bool PortPresent(const std::string& port) override {
    std::error_code ec;
    // A link to a device that has gone (a by-id name, a pty) does not count.
    return std::filesystem::exists(port, ec);
  }

  uint32_t DefaultLanguage() override {
    const char* lang = std::getenv("LANG");
    return lang != nullptr && std::strncmp(lang, "fr", 2) == 0 ? 0 : 1;
  }

  std::vector<std::string> PortProblem(int32_t status, const std::string& port, uint32_t language) override {
    const bool fr = language == 0;
    std::vector<std::string> lines{std::strerror(status) + std::string(" (errno ") + std::to_string(status) +
                                   ")"};
    switch (status) {
      case EACCES:
      case EPERM:
        lines.push_back(fr ? "Votre compte n'a pas le droit d'ouvrir le port : ajoutez-le au groupe dialout"
                           : "Your account may not open the port: add it to the dialout group");
        lines.push_back(fr ? "(sudo usermod -aG dialout $USER), puis reconnectez-vous."
                           : "(sudo usermod -aG dialout $USER), then log in again.");
        break;
      case EBUSY:
        lines.push_back(
            fr ? "Un autre programme tient le port ; ModemManager et brltty s'emparent souvent des"
               : "Another program holds the port; ModemManager and brltty often grab USB serial");
        lines.push_back(
            fr ? "ports s\xc3\xa9rie USB (sudo systemctl stop ModemManager ; sudo apt remove brltty)."
               : "ports (sudo systemctl stop ModemManager; sudo apt remove brltty).");
        lines.push_back((fr ? "Qui le tient : fuser -v " : "Who holds it: fuser -v ") + port);
        break;
      case ENOENT:
      case ENODEV:
      case ENXIO:
      case EIO:
        lines.push_back(fr ? "Le port n'existe pas ou a disparu (c\xc3\xa2"
                             "ble d\xc3\xa9"
                             "branch\xc3\xa9 ?) ;"
                           : "The port does not exist or has vanished (cable unplugged?);");
        lines.push_back(fr ? "rebranchez le c\xc3\xa2"
                             "ble et voyez les ports avec : bravelle-cli ports"
                           : "plug the cable in again and see the ports with: bravelle-cli ports");
        break;
      case ENOTTY:
        lines.push_back(fr ? "Ce n'est pas un port s\xc3\xa9rie ; voyez les ports avec : bravelle-cli ports"
                           : "This is not a serial port; see the ports with: bravelle-cli ports");
        break;
      default:
        break;
    }
    return lines;
  }

  bool IsTerminal(std::FILE* stream) override { return isatty(fileno(stream)) == 1; }
  bool SyncToDisk(std::FILE* stream) override { return fsync(fileno(stream)) == 0; }

 private:
  PosixClock clock_;
  PosixPortRegistry registry_;
  PosixTextLocale locale_;
  std::vector<SysfsPort> described_;
};

void OnInterrupt(int) { RequestStop(); }

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Restarted calls: the link's own waits absorb the signal; the command looks at
  // the request between two of its operations.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  PosixCliPlatform platform;
  return RunCli(std::vector<std::string>(argv + 1, argv + argc), platform);
}
