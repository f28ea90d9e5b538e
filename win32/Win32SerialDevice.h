// The serial device on Windows: each call is the Win32 serial API call of the same name.
#pragma once

#include "platform/SerialDevice.h"

class Win32SerialDevice : public SerialDevice {
 public:
  SerialHandle Open(const char* path) override;
  bool GetState(SerialHandle h, CommDcb& dcb) override;
  bool SetState(SerialHandle h, const CommDcb& dcb) override;
  bool GetTimeouts(SerialHandle h, CommTimeouts& t) override;
  bool SetTimeouts(SerialHandle h, const CommTimeouts& t) override;
  bool Purge(SerialHandle h, uint32_t flags) override;
  bool Write(SerialHandle h, uint8_t byte, uint32_t& count) override;
  bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) override;
  bool Close(SerialHandle h) override;
  int32_t LastError() override;
};
