// The one fake of the system's identity: counted random bytes, or none at all, and a fixed host name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Identity.h"

namespace fake {

class FakeStationIdentity : public StationIdentity {
 public:
  bool RandomBytes(uint8_t* bytes, size_t count) override {
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(next_++);
    return working;
  }
  std::string HostName() override { return hostName; }

  std::string hostName = "bench-pc";
  bool working = true;

 private:
  int next_ = 0xF0;
};

}  // namespace fake
