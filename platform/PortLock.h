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

class PortLocks {
 public:
  virtual ~PortLocks() = default;
  // Takes the port (as the user names it: a link, a device path): null with the system's error
  // (EBUSY) when another program holds it. Where the system offers no way to hold a port, the hold
  // holds nothing and the port is used as it is.
  virtual std::unique_ptr<PortHold> Hold(const std::string& port, int32_t& status) = 0;
};
