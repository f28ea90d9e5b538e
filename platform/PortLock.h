// A serial port taken before it is opened, as other programs on the system can see it; one backend
// per system that has such a convention (posix/PosixPortLock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// A port this program holds; let go when destroyed.
class PortHold {
 public:
  virtual ~PortHold() = default;
};

// Who holds a port, as far as the system tells: the lock file that names a process, and its name.
struct PortHolder {
  std::string LockFile;  // empty when no lock file says (the port's exclusive flag)
  int Pid = 0;
  std::string Program;  // empty where the system does not tell it
};

class PortLocks {
 public:
  virtual ~PortLocks() = default;
  // Takes the port (as the user names it: a link, a device path): null with the system's error
  // (EBUSY) and what is known of the holder when another program holds it. Where the system offers no
  // way to hold a port, the hold holds nothing and the port is used as it is.
  virtual std::unique_ptr<PortHold> Hold(const std::string& port, int32_t& status, PortHolder& holder) = 0;
};
