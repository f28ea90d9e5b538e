// The station's identity on Windows: the system's random generator and the computer's DNS host name.
#pragma once

#include "platform/Identity.h"

class Win32Identity : public StationIdentity {
 public:
  bool RandomBytes(uint8_t* bytes, size_t count) override;
  std::string HostName() override;
};
