// The station's identity in the browser: crypto.getRandomValues, and the page's own station name.
#pragma once

#include "platform/Identity.h"

class WebIdentity : public StationIdentity {
 public:
  bool RandomBytes(uint8_t* bytes, size_t count) override;
  // The browser tells no computer name: the page names itself once, "web-" and eight hex digits from
  // the random generator, and keeps the name in the browser's storage, so that the records of one
  // browser name one station.
  std::string HostName() override;
};
