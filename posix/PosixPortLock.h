// Ports held on a POSIX system as its serial programs see it: a port's exclusive flag (TIOCEXCL), and
// UUCP lock files (LCK..ttyUSB0 in the lock folder), the convention minicom, picocom and ModemManager's
// helpers honour.
#pragma once

#include <string>
#include <utility>

#include "platform/PortLock.h"

class PosixPortLocks : public PortLocks {
 public:
  // The folder of the lock files: /var/lock, another one for tests.
  explicit PosixPortLocks(std::string lockDir) : lockDir_(std::move(lockDir)) {}
  // A port that another program holds by its exclusive flag, or by a lock file whose process lives,
  // is refused with EBUSY; a lock file whose holder is gone is stale: removed, and taken. Without a lock
  // folder this program may write to, the port is used without a lock file.
  std::unique_ptr<PortHold> Hold(const std::string& port, int32_t& status) override;

 private:
  std::string lockDir_;
};
