// What the system says of a port that cannot be used, for bravelle-cli's advice: its words and code
// for an error, and who may open or hold a port.
#pragma once

#include <cstdint>
#include <string>

class SystemWords {
 public:
  virtual ~SystemWords() = default;
  // The system's words for an error code, UTF-8.
  virtual std::string SystemMessage(int32_t code) = 0;
  // An error code as the system's own tools print it: "errno 13", "5".
  virtual std::string ErrorCode(int32_t status) = 0;
  // The group whose members may open the port, where the system grants ports to groups; empty elsewhere.
  virtual std::string PortGroup(const std::string& port) = 0;
  // Whether a port another program holds is all the system tells: no tool names the holder, and no
  // service of the system grabs serial ports by itself.
  virtual bool HoldersUnknown() = 0;
};
