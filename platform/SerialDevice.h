// The seam between the serial link and the operating system's serial port API.
#pragma once

#include <cstdint>

// Line settings in the exact layout of the Windows DCB (28 bytes), so the Win32
// backend hands it to the system as it is and the link stays platform-free.
struct CommDcb {
  uint32_t DCBlength;
  uint32_t BaudRate;
  uint32_t Flags;  // fBinary bit 0, fParity bit 1, ..., fRtsControl bits 12-13
  uint16_t wReserved;
  uint16_t XonLim;
  uint16_t XoffLim;
  uint8_t ByteSize;
  uint8_t Parity;
  uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  uint16_t wReserved1;
};
static_assert(sizeof(CommDcb) == 28, "CommDcb must keep the layout of the Windows DCB");

// Bits of CommDcb::Flags, at the places the Windows DCB bit fields occupy.
namespace dcbflag {
constexpr uint32_t Binary = 1u << 0;
constexpr uint32_t Parity = 1u << 1;
constexpr uint32_t OutxCtsFlow = 1u << 2;
constexpr uint32_t OutxDsrFlow = 1u << 3;
constexpr uint32_t DtrControlShift = 4;  // two bits
constexpr uint32_t DsrSensitivity = 1u << 6;
constexpr uint32_t TXContinueOnXoff = 1u << 7;
constexpr uint32_t OutX = 1u << 8;
constexpr uint32_t InX = 1u << 9;
constexpr uint32_t ErrorChar = 1u << 10;
constexpr uint32_t Null = 1u << 11;
constexpr uint32_t RtsControlShift = 12;  // two bits
constexpr uint32_t AbortOnError = 1u << 14;
}  // namespace dcbflag

constexpr uint8_t kEvenParity = 2;
constexpr uint8_t kOneStopBit = 0;

// Same layout as the Windows COMMTIMEOUTS.
struct CommTimeouts {
  uint32_t ReadIntervalTimeout;
  uint32_t ReadTotalTimeoutMultiplier;
  uint32_t ReadTotalTimeoutConstant;
  uint32_t WriteTotalTimeoutMultiplier;
  uint32_t WriteTotalTimeoutConstant;
};

// PurgeComm flags.
constexpr uint32_t kPurgeTxAbort = 0x01;
constexpr uint32_t kPurgeRxAbort = 0x02;
constexpr uint32_t kPurgeTxClear = 0x04;
constexpr uint32_t kPurgeRxClear = 0x08;

using SerialHandle = intptr_t;
constexpr SerialHandle kInvalidSerialHandle = -1;

// One call per system call of the Windows serial API. A false (or invalid
// handle) result is a failure whose code LastError() then gives: a Windows
// error code on Windows, an errno value on POSIX.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  // path is the link's port path, "\\.\COMn"; each backend maps it to its own device.
  virtual SerialHandle Open(const char* path) = 0;
  virtual bool GetState(SerialHandle h, CommDcb& dcb) = 0;
  virtual bool SetState(SerialHandle h, const CommDcb& dcb) = 0;
  virtual bool GetTimeouts(SerialHandle h, CommTimeouts& t) = 0;
  virtual bool SetTimeouts(SerialHandle h, const CommTimeouts& t) = 0;
  virtual bool Purge(SerialHandle h, uint32_t flags) = 0;
  // Transfer one byte; count receives the number of bytes moved (0 on a timeout).
  virtual bool Write(SerialHandle h, uint8_t byte, uint32_t& count) = 0;
  virtual bool Read(SerialHandle h, uint8_t& byte, uint32_t& count) = 0;
  virtual bool Close(SerialHandle h) = 0;
  virtual int32_t LastError() = 0;
};
