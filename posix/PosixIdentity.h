// The station's identity on a POSIX system: getrandom and gethostname.
#pragma once

#include "platform/Identity.h"

class PosixIdentity : public StationIdentity {
 public:
  bool RandomBytes(uint8_t* bytes, size_t count) override;
  std::string HostName() override;
};
