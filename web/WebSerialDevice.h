// The serial device of the browser: the link's calls carried to a Web Serial port by the page's SerialLine.
#pragma once

#include <string>

#include "platform/SerialDevice.h"

// The failures the page's SerialLine reports (serial-line.js holds the same numbers): Linux's errno
// values, as bravelle-cli's records carry them, and not the WebAssembly C library's own numbering.
constexpr int32_t kWebPortBusy = 16;          // EBUSY: open() rejected, another program holds the port
constexpr int32_t kWebPortGone = 19;          // ENODEV: unplugged, or no longer granted
constexpr int32_t kWebPortFailed = 5;         // EIO: any other failure
constexpr int32_t kWebPortDenied = 13;        // EACCES: the browser refuses the port (permission, policy)
constexpr int32_t kWebPortAlreadyOpen = 114;  // EALREADY: open already, in this browser
constexpr int32_t kWebLineGarbled = 84;       // EILSEQ: a parity, framing, break or overrun error
constexpr int32_t kWebWriteStuck = 62;        // ETIME: a write was given up at its timeout, the line ended

// Each call waits on the page's promises (the build suspends the C++ stack with
// Asyncify), so the link stays the synchronous byte-at-a-time object it is
// elsewhere. The path is the label under which the page keeps a granted port.
class WebSerialDevice : public SerialDevice {
 public:
  SerialHandle Open(const char* path, const LineSettings& line) override;
  bool Configure(SerialHandle h, const LineSettings& line) override;
  Transfer Write(SerialHandle h, uint8_t byte, uint32_t timeoutMs) override;
  Transfer Read(SerialHandle h, uint8_t& byte, uint32_t timeoutMs) override;
  bool Discard(SerialHandle h) override;
  bool Close(SerialHandle h) override;
  int32_t LastError() override { return error_; }
  PortProblem ProblemOf(int32_t code) override;

 private:
  bool Failed();
  int32_t error_ = 0;
};

// A port's own words for its last failure ("The device has been lost."), for the page's message.
std::string WebSerialErrorText();
