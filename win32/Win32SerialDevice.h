// The serial device on Windows: the Win32 serial API, a DCB and a COMMTIMEOUTS per open port.
#pragma once

#include <map>

#include "platform/SerialDevice.h"
#include "win32/CommSettings.h"

class Win32SerialDevice : public SerialDevice {
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
  // The port's own settings, put back at Close, and the timeout its transfers have now.
  struct Saved {
    CommDcb dcb{};
    CommTimeouts timeouts{};
    uint32_t timeoutMs = 0;
  };
  bool Fail();
  bool TimeoutIs(SerialHandle h, uint32_t timeoutMs);

  std::map<SerialHandle, Saved> ports_;
  int32_t error_ = 0;
};
