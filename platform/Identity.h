// What makes a record the line's own wherever it was made: the system's random bytes for its id, and
// the name the system gives the station. One backend per system (posix/, win32/, web/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class StationIdentity {
 public:
  virtual ~StationIdentity() = default;
  // count bytes from the system's own generator, never a seeded one: records of two stations made in
  // the same millisecond must not share an id. False when the system gives none.
  virtual bool RandomBytes(uint8_t* bytes, size_t count) = 0;
  // The computer's name (UTF-8), empty when the system tells none.
  virtual std::string HostName() = 0;
};
